#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace orvane::test {

// A real folder tree under the system's temporary folder, removed with
// everything in it when the object goes. Relative names use "/" and are byte
// strings (UTF-8 on Windows), like the paths the player works with.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The native full path of rel inside the tree; the tree's root for "".
    std::string path(const std::string& rel = {}) const;

    // Creates the folder and any missing parents; returns its full path.
    std::string makeFolder(const std::string& rel);
    // Creates (or overwrites) a file holding bytes, and any missing parent
    // folders; returns its full path.
    std::string makeFile(const std::string& rel, const std::string& bytes = {});
    // Creates a symbolic link at rel that points to target (taken as is).
    std::string makeLink(const std::string& rel, const std::string& target);

    void setModified(const std::string& rel, std::chrono::system_clock::time_point when);
    void setPermissions(const std::string& rel, std::filesystem::perms perms);
    // Removes a file, or a folder with all it holds.
    void remove(const std::string& rel);

    std::filesystem::path fsPath(const std::string& rel = {}) const;

private:
    std::filesystem::path root_;
};

#ifndef _WIN32
// Leaves a Unix socket file at path (a test failure when it cannot).
void makeSocket(const std::string& path);
#endif

} // namespace orvane::test
