#include "tests/support/testpack.h"

#include <fstream>

void writePack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    std::ofstream out(path, std::ios::binary);
    out << "@@MarlinPackArchiveStampIssuedByToolsmithYr01" << '\n';
    for (const auto& [name, bytes] : entries) out << name << '@' << bytes.size() << '@';
    out << '@';
    for (const auto& entry : entries) out << entry.second;
}

bool syntheticInk(int slot, int row, int column) {
    // Diagonal stripes of different slope per slot, so a title drawn in the
    // wrong place or a slot shown too early is told apart from the right one.
    return (row + (slot + 1) * column) % 7 < 2;
}

std::string syntheticTitle(int slot) {
    std::string raster(180 * 65, char(255));
    for (int i = 0; i < 65; ++i)
        for (int j = 0; j < 180; ++j)
            if (syntheticInk(slot, i, j)) raster[std::size_t(i * 180 + j)] = char(0);
    return raster;
}

std::vector<std::pair<std::string, std::string>> syntheticTitles() {
    return {{"data/ossa.raw", syntheticTitle(0)},
            {"data/quel.raw", syntheticTitle(1)},
            {"data/varn.raw", syntheticTitle(2)}};
}
