#include "demo/packlocation.h"

#include "buildinfo.h"
#include "platform/win32.h"

#include <cstdio>

namespace {

constexpr const char* packName = "QuelVarnOssa.dat";

std::string executableFolder() {
    char exe[4096];
    const DWORD length = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (length == 0 || length >= sizeof exe) return {};
    const std::string path(exe, std::size_t(length));
    return path.substr(0, path.find_last_of("/\\"));
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' || folder.back() == '\\' ? folder + name : folder + "/" + name;
}

}  // namespace

std::vector<std::string> packFolders() { return packFolders(executableFolder(), QVO_INSTALLED_DATA_DIR); }

std::vector<std::string> packFolders(const std::string& beside, const std::string& installed) {
    std::vector<std::string> folders{""};
    if (!beside.empty()) folders.push_back(beside);
    if (!installed.empty()) folders.push_back(installed);
    return folders;
}

std::string firstPackIn(const std::vector<std::string>& folders, const std::string& name) {
    for (const std::string& folder : folders) {
        const std::string path = joined(folder, name);
        if (exists(path)) return path;
    }
    return name;
}

const char* packFileName() {
    static std::string chosen;
    const std::vector<std::string> folders = packFolders();
    chosen = firstPackIn(folders, packName);
    if (!exists(chosen)) {
        std::fprintf(stderr, "quelvarnossa: %s is not in the working directory", packName);
        for (std::size_t i = 1; i < folders.size(); ++i) std::fprintf(stderr, ", %s", folders[i].c_str());
        std::fprintf(stderr, "\n");
    }
    return chosen.c_str();
}
