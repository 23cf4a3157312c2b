#ifdef _WIN32

#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "platform/win_api.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Names = std::set<std::string>;

// Names of a listing, without "." and "..", which only some folders report.
Names namesOf(const std::vector<DirEntry>& entries)
{
    Names names;
    for (const auto& e : entries) {
        if (e.name != "." && e.name != "..")
            names.insert(e.name);
    }
    return names;
}

Names folderNamesOf(const std::vector<DirEntry>& entries)
{
    Names names;
    for (const auto& e : entries) {
        if (e.isDirectory() && e.name != "." && e.name != "..")
            names.insert(e.name);
    }
    return names;
}

std::string utf8(const std::wstring& w)
{
    const std::u8string text = std::filesystem::path(w).u8string();
    return std::string(text.begin(), text.end());
}

void makeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create " << utf8(path);
    CloseHandle(h);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes));
}

void makeFolder(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "cannot create " << utf8(path);
    if (attributes != FILE_ATTRIBUTE_NORMAL) {
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_DIRECTORY));
    }
}

// std::filesystem::remove_all of this toolchain stops at MAX_PATH; the
// prefixed Win32 calls do not.
bool removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                removeTree(path);
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    return RemoveDirectoryW(folder.c_str());
}

FILETIME toFileTime(std::chrono::system_clock::time_point t)
{
    const auto ticks = std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10'000'000>>>(
                           t.time_since_epoch())
                           .count()
        + 116'444'736'000'000'000LL;
    ULARGE_INTEGER raw;
    raw.QuadPart = static_cast<unsigned long long>(ticks);
    return FILETIME{raw.LowPart, raw.HighPart};
}

// A fresh folder under the user's temp folder, removed afterwards.
class WinFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
        static int serial = 0;
        wroot_ = std::wstring(temp) + L"orvane-fs-" + std::to_wstring(GetCurrentProcessId()) + L"-"
            + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++serial);
        ASSERT_TRUE(CreateDirectoryW(wroot_.c_str(), nullptr));
        root_ = utf8(wroot_);
    }

    void TearDown() override { EXPECT_TRUE(removeTree(L"\\\\?\\" + wroot_)) << utf8(wroot_); }

    std::wstring w(const std::wstring& name) const { return wroot_ + L"\\" + name; }
    std::string at(const std::string& name) const { return root_ + "\\" + name; }

    std::unique_ptr<FileSystem> fs_ = makeNativeFileSystem();
    std::wstring wroot_;
    std::string root_;
};

TEST_F(WinFileSystemTest, ListingLeavesOutHiddenAndSystemEntries)
{
    makeFile(w(L"a.mp3"));
    makeFile(w(L"notes.txt"));
    makeFolder(w(L"Sub"));
    makeFile(w(L"hidden.mp3"), FILE_ATTRIBUTE_HIDDEN);
    makeFile(w(L"system.mp3"), FILE_ATTRIBUTE_SYSTEM);
    makeFile(w(L"archived.mp3"), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    makeFolder(w(L"HiddenFolder"), FILE_ATTRIBUTE_HIDDEN);
    makeFolder(w(L"SystemFolder"), FILE_ATTRIBUTE_SYSTEM);

    const auto all = fs_->listFolder(root_, ListPattern::All);
    EXPECT_EQ(namesOf(all), (Names{"Sub", "a.mp3", "archived.mp3", "notes.txt"}));
    EXPECT_EQ(folderNamesOf(all), (Names{"Sub"}));
    for (const auto& e : all) {
        // Only the directory bit is passed on: archived or unindexed files are plain files.
        EXPECT_TRUE(e.attributes == 0 || e.attributes == AttrDirectory) << e.name << " " << e.attributes;
    }
    EXPECT_EQ(namesOf(fs_->listFolder(root_, ListPattern::Mp3Files)), (Names{"a.mp3", "archived.mp3"}));
    EXPECT_EQ(namesOf(fs_->listFolder(root_ + "\\", ListPattern::All)), namesOf(all));
}

TEST_F(WinFileSystemTest, FolderWhoseMp3FilesAreAllHiddenOrSystemHoldsNone)
{
    EXPECT_EQ(fs_->firstMp3(root_), "");
    makeFile(w(L"hidden.mp3"), FILE_ATTRIBUTE_HIDDEN);
    makeFile(w(L"system.MP3"), FILE_ATTRIBUTE_SYSTEM);
    makeFolder(w(L"folder.mp3"));
    EXPECT_EQ(fs_->firstMp3(root_), "");
    EXPECT_TRUE(fs_->listFolder(root_, ListPattern::Mp3Files).empty());

    makeFile(w(L"z.mp3"));
    EXPECT_EQ(fs_->firstMp3(root_), "z.mp3");
}

// Win32's own "*.mp3" also matches 8.3 short names, so "song.mp3x" (short
// name SONG~1.MP3) would slip in.
TEST_F(WinFileSystemTest, Mp3PatternIsMatchedOnTheWholeNameWithoutRegardToCase)
{
    for (const wchar_t* name : {L"Loud.MP3", L"quiet.Mp3", L"song.mp3x", L"a.mp3.txt", L"mp3", L"xmp3", L"b.mp"})
        makeFile(w(name));
    makeFolder(w(L"Folder.mp3"));

    EXPECT_EQ(namesOf(fs_->listFolder(root_, ListPattern::Mp3Files)), (Names{"Loud.MP3", "quiet.Mp3"}));
    const std::string first = fs_->firstMp3(root_);
    EXPECT_TRUE(first == "Loud.MP3" || first == "quiet.Mp3") << first;
    EXPECT_EQ(folderNamesOf(fs_->listFolder(root_, ListPattern::All)), (Names{"Folder.mp3"}));
}

TEST_F(WinFileSystemTest, NamesTravelAsUtf8BothWays)
{
    makeFile(w(L"Motörhead – Ace of Spades.mp3"));
    makeFolder(w(L"日本の歌"));
    makeFile(w(L"日本の歌\\Ünïcødé.mp3"));

    EXPECT_EQ(namesOf(fs_->listFolder(root_, ListPattern::All)),
              (Names{"Motörhead – Ace of Spades.mp3", "日本の歌"}));
    const std::string folder = at("日本の歌");
    EXPECT_TRUE(fs_->folderExists(folder));
    EXPECT_EQ(fs_->firstMp3(folder), "Ünïcødé.mp3");
    EXPECT_NO_THROW(fs_->dateCreated(folder + "\\Ünïcødé.mp3"));
    EXPECT_NO_THROW(fs_->dateCreated(at("Motörhead – Ace of Spades.mp3")));
}

void setFileTimes(const std::wstring& path, const FILETIME* created, const FILETIME* written)
{
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, created, nullptr, written));
    CloseHandle(h);
}

TEST_F(WinFileSystemTest, DateCreatedIsTheCreationTimeToTheTick)
{
    const auto before = std::chrono::system_clock::now() - 2s;
    makeFile(w(L"a.mp3"));
    const auto after = std::chrono::system_clock::now() + 2s;
    EXPECT_GE(fs_->dateCreated(at("a.mp3")), before);
    EXPECT_LE(fs_->dateCreated(at("a.mp3")), after);

    // Before 1970 and with a sub-second part: a wrong epoch would be off by
    // centuries, a wrong unit or sign by years.
    const DateTime moonLanding =
        std::chrono::sys_days{std::chrono::year{1969} / 7 / 20} + 20h + 17min + 40s + 1234500ns;
    const FILETIME old = toFileTime(moonLanding);
    setFileTimes(w(L"a.mp3"), &old, &old);
    EXPECT_EQ(fs_->dateCreated(at("a.mp3")), moonLanding);

    // Where the file system keeps the creation time apart from the last
    // write (NTFS does; Wine on Linux reports the last write for both), a
    // later write must not move it.
    const FILETIME written = toFileTime(std::chrono::sys_days{std::chrono::year{2001} / 2 / 3});
    setFileTimes(w(L"a.mp3"), nullptr, &written);
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExW(w(L"a.mp3").c_str(), GetFileExInfoStandard, &info));
    if (CompareFileTime(&info.ftCreationTime, &old) == 0) {
        EXPECT_EQ(fs_->dateCreated(at("a.mp3")), moonLanding);
    }
}

TEST_F(WinFileSystemTest, MissingFoldersAndFilesAreReportedAsSuch)
{
    makeFile(w(L"a.mp3"));
    makeFolder(w(L"Sub"));

    EXPECT_TRUE(fs_->folderExists(root_));
    EXPECT_TRUE(fs_->folderExists(root_ + "\\"));
    EXPECT_TRUE(fs_->folderExists(at("Sub")));
    EXPECT_FALSE(fs_->folderExists(at("a.mp3")));
    EXPECT_FALSE(fs_->folderExists(at("Missing")));
    EXPECT_FALSE(fs_->folderExists(""));
    EXPECT_FALSE(fs_->folderExists(root_ + "\xff"));           // not UTF-8
    EXPECT_FALSE(fs_->folderExists(root_ + std::string(1, '\0') + "x"));

    EXPECT_THROW(fs_->listFolder(at("Missing"), ListPattern::All), FileSystemError);
    EXPECT_THROW(fs_->listFolder(at("a.mp3"), ListPattern::All), FileSystemError);
    EXPECT_THROW(fs_->firstMp3(at("Missing")), FileSystemError);
    EXPECT_THROW(fs_->dateCreated(at("gone.mp3")), FileSystemError);
    EXPECT_THROW(fs_->dateCreated(at("Sub")), FileSystemError);
    EXPECT_TRUE(fs_->listFolder(at("Sub"), ListPattern::Mp3Files).empty());
    EXPECT_EQ(fs_->separator(), '\\');
}

// Deep music trees pass MAX_PATH (260) characters; Win32 then wants the
// "\\?\" prefix, which the player's own paths never carry. (Wine has no such
// limit, so only Windows itself can fail this.)
TEST_F(WinFileSystemTest, PathsLongerThanMaxPathWork)
{
    std::wstring deep = L"\\\\?\\" + wroot_;
    std::string deepUtf8 = root_;
    for (int i = 0; i < 6; ++i) {
        const std::wstring part = L"A rather long folder name for a deep tree of albums " + std::to_wstring(i);
        deep += L"\\" + part;
        deepUtf8 += "\\" + utf8(part);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    ASSERT_GT(deepUtf8.size(), 300u);
    makeFile(deep + L"\\track.mp3");

    EXPECT_TRUE(fs_->folderExists(deepUtf8));
    EXPECT_EQ(namesOf(fs_->listFolder(deepUtf8, ListPattern::All)), (Names{"track.mp3"}));
    EXPECT_EQ(fs_->firstMp3(deepUtf8), "track.mp3");
    EXPECT_NO_THROW(fs_->dateCreated(deepUtf8 + "\\track.mp3"));
}

TEST_F(WinFileSystemTest, FolderLinksAreNeverListed)
{
    makeFolder(w(L"Target"));
    makeFile(w(L"Target\\t.mp3"));
    const bool made = CreateSymbolicLinkW(w(L"Link").c_str(), w(L"Target").c_str(),
                                          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attrs = GetFileAttributesW(w(L"Link").c_str());
    if (!made || attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system cannot make folder links (Wine cannot)";

    EXPECT_EQ(namesOf(fs_->listFolder(root_, ListPattern::All)), (Names{"Target"}));
    RemoveDirectoryW(w(L"Link").c_str());
}

// The play path "C:\" becomes the walk root "C:", and the walk lists
// "C:" + "\*". "C:" alone would be the current folder of drive C in Win32;
// it must be the root.
TEST_F(WinFileSystemTest, DriveRootIsListedWithAndWithoutItsSeparator)
{
    ASSERT_GE(root_.size(), 3u);
    ASSERT_EQ(root_.substr(1, 2), ":\\") << "the temp folder is not on a lettered drive: " << root_;
    const std::string drive = root_.substr(0, 2); // "C:"
    const std::wstring wdrive = wroot_.substr(0, 3); // L"C:\\"
    const std::wstring stamp = std::to_wstring(GetCurrentProcessId());
    const std::wstring folderName = L"orvane-root-" + stamp;
    const std::wstring fileName = L"orvane-root-" + stamp + L".mp3";
    if (!CreateDirectoryW((wdrive + folderName).c_str(), nullptr))
        GTEST_SKIP() << "no right to write in the drive root";
    wchar_t saved[MAX_PATH + 1];
    GetCurrentDirectoryW(MAX_PATH + 1, saved);
    struct Cleanup {
        std::wstring dir, file, cwd;
        ~Cleanup()
        {
            SetCurrentDirectoryW(cwd.c_str());
            DeleteFileW(file.c_str());
            RemoveDirectoryW(dir.c_str());
        }
    } cleanup{wdrive + folderName, wdrive + fileName, saved};
    makeFile(wdrive + fileName);

    // Make "C:" on its own mean a folder that is not the root.
    makeFolder(w(L"Elsewhere"));
    makeFile(w(L"Elsewhere\\decoy.mp3"));
    ASSERT_TRUE(SetCurrentDirectoryW(w(L"Elsewhere").c_str()));

    EXPECT_TRUE(fs_->folderExists(drive + "\\"));
    EXPECT_TRUE(fs_->folderExists(drive));
    const Names withSeparator = namesOf(fs_->listFolder(drive + "\\", ListPattern::All));
    const Names withoutSeparator = namesOf(fs_->listFolder(drive, ListPattern::All));
    EXPECT_EQ(withoutSeparator, withSeparator);
    EXPECT_TRUE(folderNamesOf(fs_->listFolder(drive, ListPattern::All)).count(utf8(folderName)));
    EXPECT_TRUE(namesOf(fs_->listFolder(drive, ListPattern::Mp3Files)).count(utf8(fileName)));
    EXPECT_FALSE(withoutSeparator.count("decoy.mp3"));
    EXPECT_NE(fs_->firstMp3(drive), "decoy.mp3");
    EXPECT_NE(fs_->firstMp3(drive), "");
    // The player joins a root file as "C:\name.mp3", with one separator.
    EXPECT_NO_THROW(fs_->dateCreated(drive + "\\" + utf8(fileName)));
}

} // namespace
} // namespace orvane

#endif
