#include "tests/support/scratchdir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchDir::ScratchDir(bool enter) {
    std::string pattern = (fs::temp_directory_path() / "qvo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch directory");
    root = pattern;
    if (!enter) return;
    previous = fs::current_path().string();
    fs::current_path(root);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!previous.empty()) fs::current_path(previous, ignored);
    fs::remove_all(root, ignored);
}

std::string ScratchDir::write(const std::string& name, const std::string& bytes) const {
    const std::string full = path(name);
    if (!(std::ofstream(full, std::ios::binary) << bytes)) throw std::runtime_error("cannot write " + full);
    return full;
}

std::string ScratchDir::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ScratchDir::exists(const std::string& path) { return fs::exists(path); }
