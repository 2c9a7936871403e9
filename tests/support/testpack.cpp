#include "tests/support/testpack.h"

#include <fstream>

void writePack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    std::ofstream out(path, std::ios::binary);
    out << "@@MarlinPackArchiveStampIssuedByToolsmithYr01" << '\n';
    for (const auto& [name, bytes] : entries) out << name << '@' << bytes.size() << '@';
    out << '@';
    for (const auto& entry : entries) out << entry.second;
}

// Diagonal stripes of different slope per slot, so a title drawn in the
// wrong place or a slot shown too early is told apart from the right one.
bool syntheticInk(int slot, int row, int column) { return (row + (slot + 1) * column) % 7 < 2; }

std::vector<std::pair<std::string, std::string>> syntheticTitles() {
    std::vector<std::pair<std::string, std::string>> titles;
    for (const char* name : {"data/ossa.raw", "data/quel.raw", "data/varn.raw"}) {
        std::string raster(180 * 65, char(255));
        for (int i = 0; i < 180 * 65; ++i)
            if (syntheticInk(int(titles.size()), i / 180, i % 180)) raster[std::size_t(i)] = char(0);
        titles.emplace_back(name, raster);
    }
    return titles;
}
