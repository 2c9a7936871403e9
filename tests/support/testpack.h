// Pack files and title rasters made up by tests.
//
//   writePack(dir.path("t.dat"), {{"data/quel.raw", syntheticTitle(1)}});
#pragma once

#include <string>
#include <utility>
#include <vector>

// Writes a pack in the file server's format: signature, one separator byte,
// the directory name@size@...@ and the entries' bytes.
void writePack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// A 180x65 raster whose ink (0) forms a pattern of its own per slot 0..2;
// background 255.
bool syntheticInk(int slot, int row, int column);
std::string syntheticTitle(int slot);

// The three titles under the names the demo loads, slot order 0, 1, 2.
std::vector<std::pair<std::string, std::string>> syntheticTitles();
