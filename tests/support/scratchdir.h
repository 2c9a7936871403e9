// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes away. Optionally the working
// directory moves into it for the object's life (for code that writes
// relative names such as "debug.log").
#pragma once

#include <string>
#include <vector>

class ScratchDir {
public:
    explicit ScratchDir(bool enter = false);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return root; }
    std::string path(const std::string& name) const { return root + "/" + name; }

    // Writes the bytes to name (inside the directory) and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;
    // The whole file as bytes; empty if it cannot be read.
    static std::string read(const std::string& path);
    static bool exists(const std::string& path);

private:
    std::string root;
    std::string previous;
};
