#ifdef _WIN32

#include "platform/file_system.h"
#include "platform/win_text.h"

#include <cstdint>
#include <functional>

#include "platform/win_api.h"

namespace orvane {

namespace {

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "C:" alone names the current folder of drive C to Win32. The player forms
// "C:" only from the play path "C:\" (it drops one trailing separator), so
// here it always stands for the drive root.
std::string resolveDriveOnly(const std::string& path)
{
    if (path.size() == 2 && isAsciiLetter(path[0]) && path[1] == ':')
        return path + '\\';
    return path;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// Win32 refuses paths of MAX_PATH characters or more (folders: 248) unless
// they carry the "\\?\" prefix. That prefix also turns off the parsing that
// resolves "." and ".." and "/", so the path is made full and plain first.
std::wstring extendedLength(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || startsWith(path, L"\\\\?\\") || startsWith(path, L"\\\\.\\"))
        return path;
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(size);
    if (startsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring widePath(const std::string& path)
{
    auto wide = win::toWide(resolveDriveOnly(path));
    if (!wide)
        throw FileSystemError("path is not valid UTF-8 text: " + path);
    return extendedLength(*wide);
}

std::wstring searchPatternFor(const std::string& folder)
{
    std::string pattern = resolveDriveOnly(folder);
    if (pattern.empty() || !isSeparator(pattern.back()))
        pattern += '\\';
    // Always "*": a pattern such as "*.mp3" would also match 8.3 short names,
    // so "song.mp3x" (short name SONG~1.MP3) would pass.
    pattern += '*';
    auto wide = win::toWide(pattern);
    if (!wide)
        throw FileSystemError("path is not valid UTF-8 text: " + folder);
    return extendedLength(*wide);
}

std::string lastErrorText(const char* what, const std::string& path, DWORD error)
{
    return std::string(what) + " " + path + " (Windows error " + std::to_string(error) + ")";
}

// Junctions, folder symlinks and volume mount points lead somewhere else, and
// a link back up the tree would make the walk endless. Other folder reparse
// points, such as cloud-file placeholders, are the folder itself. A tag of 0
// is no valid tag; Wine reports its links that way.
bool isFolderLink(const WIN32_FIND_DATAW& data)
{
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const DWORD tag = data.dwReserved0;
    return tag == 0 || IsReparseTagNameSurrogate(tag);
}

enum class EntryKind { LeftOut, File, Folder };

EntryKind classify(const WIN32_FIND_DATAW& data)
{
    const DWORD attrs = data.dwFileAttributes;
    if (attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE))
        return EntryKind::LeftOut;
    if (attrs & FILE_ATTRIBUTE_DIRECTORY)
        return isFolderLink(data) ? EntryKind::LeftOut : EntryKind::Folder;
    return EntryKind::File;
}

bool matches(const DirEntry& entry, ListPattern pattern)
{
    if (pattern == ListPattern::All)
        return true;
    return !entry.isDirectory() && matchesMp3(entry.name);
}

class FindHandle {
public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    ~FindHandle() { FindClose(h_); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

bool isExistingFolder(const std::wstring& path)
{
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// Calls visit for every listed entry of folder until it returns false. The
// listing is opened, read and closed here, with nothing else in between.
void forEachEntry(const std::string& folder, const std::function<bool(DirEntry&&)>& visit)
{
    const std::wstring pattern = searchPatternFor(folder);
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // An empty drive root has not even "." and "..".
        if (error == ERROR_FILE_NOT_FOUND && isExistingFolder(widePath(folder)))
            return;
        throw FileSystemError(lastErrorText("cannot list", folder, error));
    }
    FindHandle guard(h);
    do {
        const EntryKind kind = classify(data);
        if (kind == EntryKind::LeftOut)
            continue;
        // A name with no UTF-8 form could never be opened again from the
        // core's text, so it is treated like a hidden entry.
        auto name = win::toUtf8(data.cFileName);
        if (!name)
            continue;
        const std::uint32_t attrs = kind == EntryKind::Folder ? AttrDirectory : 0;
        if (!visit(DirEntry{std::move(*name), attrs}))
            return;
    } while (FindNextFileW(guard.get(), &data));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
        throw FileSystemError(lastErrorText("cannot list", folder, error));
}

DateTime fromFileTime(const FILETIME& ft)
{
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    // 100-ns ticks from 1601-01-01, the FILETIME epoch, to 1970-01-01.
    constexpr std::int64_t UnixEpochTicks = 116'444'736'000'000'000;
    ULARGE_INTEGER raw;
    raw.LowPart = ft.dwLowDateTime;
    raw.HighPart = ft.dwHighDateTime;
    Ticks sinceUnixEpoch(static_cast<std::int64_t>(raw.QuadPart & INT64_MAX) - UnixEpochTicks);
    // The clock's nanoseconds reach back only to 1677; clamp older dates.
    const auto earliest = std::chrono::duration_cast<Ticks>(DateTime::duration::min());
    const auto latest = std::chrono::duration_cast<Ticks>(DateTime::duration::max());
    if (sinceUnixEpoch < earliest)
        sinceUnixEpoch = earliest;
    if (sinceUnixEpoch > latest)
        sinceUnixEpoch = latest;
    return DateTime(std::chrono::duration_cast<DateTime::duration>(sinceUnixEpoch));
}

class WinFileSystem final : public FileSystem {
public:
    char separator() const override { return '\\'; }

    bool folderExists(const std::string& path) override
    {
        auto wide = win::toWide(resolveDriveOnly(path));
        return wide && !wide->empty() && isExistingFolder(extendedLength(*wide));
    }

    std::vector<DirEntry> listFolder(const std::string& folder, ListPattern pattern) override
    {
        std::vector<DirEntry> entries;
        forEachEntry(folder, [&](DirEntry&& entry) {
            if (matches(entry, pattern))
                entries.push_back(std::move(entry));
            return true;
        });
        return entries;
    }

    std::string firstMp3(const std::string& folder) override
    {
        std::string found;
        forEachEntry(folder, [&](DirEntry&& entry) {
            if (!matches(entry, ListPattern::Mp3Files))
                return true;
            found = std::move(entry.name);
            return false;
        });
        return found;
    }

    DateTime dateCreated(const std::string& path) override
    {
        WIN32_FILE_ATTRIBUTE_DATA info;
        if (!GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &info))
            throw FileSystemError(lastErrorText("cannot read the creation date of", path, GetLastError()));
        // Only files have a play list date; a folder here means the file is gone.
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            throw FileSystemError("not a file: " + path);
        return fromFileTime(info.ftCreationTime);
    }
};

} // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem()
{
    return std::make_unique<WinFileSystem>();
}

void releaseFreeMemory()
{
    HeapCompact(GetProcessHeap(), 0);
}

} // namespace orvane

#endif
