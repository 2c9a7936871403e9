// Pack files and title rasters made up by tests.
//
//   writePack(dir.path("t.dat"), syntheticTitles());
#pragma once

#include <string>
#include <utility>
#include <vector>

// Writes a pack in the file server's format: signature, one separator byte,
// the directory name@size@...@ and the entries' bytes.
void writePack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// Whether pixel (row, column) of title slot 0..2 is ink: a pattern of its own per slot.
bool syntheticInk(int slot, int row, int column);

// The three titles under the names the demo loads, slot order 0, 1, 2: 180x65
// rasters with ink 0 where syntheticInk says, background 255.
std::vector<std::pair<std::string, std::string>> syntheticTitles();
