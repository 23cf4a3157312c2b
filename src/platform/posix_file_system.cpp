// The file system as the player sees it, on Linux and other POSIX systems.
//
// Listings use readdir and trust d_type, so a folder of ordinary entries is
// listed without a single stat call; only entries whose type the file system
// does not report, and symbolic links, are looked at more closely.
//
// Links: a link to a folder is a system entry and never listed, so a walk can
// not run into a link loop. A link to an ordinary file is listed as that file,
// because a user who links an mp3 into a music folder expects it to play.
// Dangling links and links to anything else are left out.
//
// "." and ".." start with "." and so count as hidden: they are never listed.
#ifndef _WIN32

#include "platform/file_system.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <dirent.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace orvane {
namespace {

enum class Kind { Skip, File, Folder };

// A path that holds a NUL byte cannot be handed to the kernel intact.
bool representable(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

[[noreturn]] void fail(const char* what, const std::string& path, int err)
{
    throw FileSystemError(std::string(what) + " \"" + path + "\": " + std::strerror(err));
}

Kind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    return Kind::Skip;
}

// A link counts as the ordinary file it points to and as nothing else.
Kind kindOfLink(int dirFd, const char* name)
{
    struct stat st;
    if (fstatat(dirFd, name, &st, 0) != 0)
        return Kind::Skip;
    return S_ISREG(st.st_mode) ? Kind::File : Kind::Skip;
}

Kind kindOf(int dirFd, const dirent& entry)
{
    switch (entry.d_type) {
    case DT_REG:
        return Kind::File;
    case DT_DIR:
        return Kind::Folder;
    case DT_LNK:
        return kindOfLink(dirFd, entry.d_name);
    case DT_UNKNOWN: {
        struct stat st;
        if (fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Kind::Skip; // gone since it was read: as if never there
        if (S_ISLNK(st.st_mode))
            return kindOfLink(dirFd, entry.d_name);
        return kindOfMode(st.st_mode);
    }
    default:
        return Kind::Skip;
    }
}

// One open listing, closed however the reading ends.
class Listing {
public:
    explicit Listing(const std::string& folder) : folder_(folder)
    {
        if (!representable(folder))
            fail("Cannot list folder", folder, ENOENT);
        dir_ = opendir(folder.c_str());
        if (dir_ == nullptr)
            fail("Cannot list folder", folder, errno);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    ~Listing() { closedir(dir_); }

    // The next entry that is neither hidden nor a system entry, or false at
    // the end of the folder.
    bool next(const char*& name, Kind& kind)
    {
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(dir_);
            if (entry == nullptr) {
                if (errno != 0)
                    fail("Cannot read folder", folder_, errno);
                return false;
            }
            if (entry->d_name[0] == '.')
                continue;
            kind = kindOf(dirfd(dir_), *entry);
            if (kind == Kind::Skip)
                continue;
            name = entry->d_name; // valid until the next read
            return true;
        }
    }

private:
    const std::string& folder_;
    DIR* dir_ = nullptr;
};

bool matches(ListPattern pattern, std::string_view name, Kind kind)
{
    if (pattern == ListPattern::All)
        return true;
    return kind == Kind::File && matchesMp3(name);
}

// The clock's 64-bit count reaches only from 1677 to 2262; a date beyond is
// clamped to the nearer end, as on Windows, so date order still holds.
DateTime toDateTime(std::int64_t seconds, std::uint32_t nanoseconds)
{
    using namespace std::chrono;
    using Tick = DateTime::duration;
    constexpr auto earliest = ceil<std::chrono::seconds>(Tick::min());
    constexpr auto latest = floor<std::chrono::seconds>(Tick::max());
    if (seconds < earliest.count())
        return DateTime(Tick::min());
    if (seconds > latest.count())
        return DateTime(Tick::max());
    const auto whole = duration_cast<Tick>(std::chrono::seconds(seconds));
    const auto part = duration_cast<Tick>(std::chrono::nanoseconds(nanoseconds));
    return DateTime(whole > Tick::max() - part ? Tick::max() : whole + part);
}

class PosixFileSystem final : public FileSystem {
public:
    char separator() const override { return '/'; }

    bool folderExists(const std::string& path) override
    {
        struct stat st;
        return representable(path) && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    std::vector<DirEntry> listFolder(const std::string& folder, ListPattern pattern) override
    {
        std::vector<DirEntry> entries;
        Listing listing(folder);
        const char* name;
        Kind kind;
        while (listing.next(name, kind)) {
            if (matches(pattern, name, kind))
                entries.push_back({std::string(name), kind == Kind::Folder ? AttrDirectory : 0u});
        }
        return entries;
    }

    std::string firstMp3(const std::string& folder) override
    {
        Listing listing(folder);
        const char* name;
        Kind kind;
        while (listing.next(name, kind)) {
            if (matches(ListPattern::Mp3Files, name, kind))
                return std::string(name);
        }
        return {};
    }

    // Birth time where the file system keeps one; otherwise the modification
    // time, so that date order still has a date to sort by. On a kernel older
    // than statx the C library answers it from stat, without a birth time.
    DateTime dateCreated(const std::string& path) override
    {
        if (!representable(path))
            fail("Cannot read the date of", path, ENOENT);
        struct statx stx;
        if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &stx) != 0)
            fail("Cannot read the date of", path, errno);
        if (stx.stx_mask & STATX_BTIME)
            return toDateTime(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec);
        return toDateTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
    }
};

} // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem()
{
    return std::make_unique<PosixFileSystem>();
}

void releaseFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0); // every arena's free memory, not only the top of the main one
#endif
}

} // namespace orvane

#endif // _WIN32
