#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Paths and names are native byte strings: on Linux exactly the bytes the
// file system holds (not necessarily UTF-8), on Windows UTF-8.
using DateTime = std::chrono::system_clock::time_point;

// Raised by the file-system operations that can fail.
class FileSystemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Entry attribute bits, with the platform's values.
inline constexpr std::uint32_t AttrDirectory = 0x10;

struct DirEntry {
    std::string name;          // name without folder
    std::uint32_t attributes;  // AttrDirectory for folders, 0 for ordinary files
    bool isDirectory() const { return (attributes & AttrDirectory) != 0; }
};

// Which entries a listing returns.
enum class ListPattern {
    All,      // "*": ordinary files and folders
    Mp3Files, // "*.mp3", matched without regard to case: ordinary files only
};

// Threads: a file system is called from one thread at a time, but for one
// case: a call that stalls (a share that no longer answers) may still be
// running on the thread that made it while the next calls come from another,
// as the user who pressed Stop and then Play on a local folder must not wait
// for the share. So each implementation lets two calls run at once (whatever
// it keeps between calls under a lock of its own, or nothing kept, as the
// native ones keep nothing) and need not bear more: the file service never
// has more than two calls out (see AsyncFileService). The collation is no
// part of a call: the lists are sorted on the window thread, its one caller.
//
// The few file-system operations the player needs. Hidden and system entries
// are never listed (hidden: a name starting with "." on Linux, the hidden
// attribute on Windows; system: anything that is neither an ordinary file nor a
// folder, or the system attribute on Windows). Links to folders are reported as
// system entries, so a walk never follows them.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual char separator() const = 0;

    // True when path names an existing folder. Never throws.
    virtual bool folderExists(const std::string& path) = 0;

    // One folder's entries matching pattern, in the order the file system
    // gives them, "." and ".." included when the platform reports them.
    // Throws FileSystemError when the folder cannot be listed.
    virtual std::vector<DirEntry> listFolder(const std::string& folder, ListPattern pattern) = 0;

    // Name of the first ordinary file of folder matching "*.mp3", or empty text.
    // Throws FileSystemError when the folder cannot be listed.
    virtual std::string firstMp3(const std::string& folder) = 0;

    // Creation date-time of a file. Throws FileSystemError when it cannot be read.
    virtual DateTime dateCreated(const std::string& path) = 0;
};

// True when name matches "*.mp3": it ends in ".mp3", letters in any case.
bool matchesMp3(std::string_view name);

// A folder and a name joined by one separator (none added after a folder
// that ends in one, as a root does).
std::string joinPath(const std::string& folder, const std::string& name, char separator);

// The real file system of the platform the program runs on.
std::unique_ptr<FileSystem> makeNativeFileSystem();

// Gives the memory the heap holds free back to the system. A walk of a
// large tree passes many listings from the file service's worker to the
// window thread; freed, their memory stays with the heap (a worker's arena
// keeps it), which counts as the program's own until it is given back.
void releaseFreeMemory();

} // namespace orvane
