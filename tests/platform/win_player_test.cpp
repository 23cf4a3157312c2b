#ifdef _WIN32

// The player on the real Windows file system: attributes, backslash paths,
// drive roots and creation dates as Win32 reports them.

#include "player/player.h"
#include "support/fakes.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/win_api.h"

namespace orvane {
namespace {

using Paths = std::vector<std::string>;

bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

FILETIME fileTimeOfDay(int day)
{
    // 100-ns ticks from 1601 to 1970, then whole days.
    ULARGE_INTEGER raw;
    raw.QuadPart = 116'444'736'000'000'000ULL + static_cast<unsigned long long>(day) * 86'400ULL * 10'000'000ULL;
    return FILETIME{raw.LowPart, raw.HighPart};
}

class WinPlayerTest : public ::testing::Test {
protected:
    std::unique_ptr<FileSystem> fs_ = makeNativeFileSystem();
    test::FakeMMControl mm_;
    test::FakeUi ui_;
    Player player_{mm_, *fs_, ui_};
    test::TempTree tree_;

    void options(const std::string& path, int sub, bool byDate = false)
    {
        auto& c = player_.controls();
        c.setText1(path);
        c.setCkSub(sub);
        c.setCkRepeat(0);
        c.setOptDate(byDate);
        c.setOptName(!byDate);
    }

    void setAttributes(const std::string& rel, DWORD attributes)
    {
        ASSERT_TRUE(SetFileAttributesW(tree_.fsPath(rel).c_str(), attributes));
    }

    // Creation and last-write time both: Wine on Linux reports the last write
    // as the creation time.
    void setCreatedDay(const std::string& rel, int day)
    {
        HANDLE h = CreateFileW(tree_.fsPath(rel).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        const FILETIME t = fileTimeOfDay(day);
        EXPECT_TRUE(SetFileTime(h, &t, nullptr, &t));
        CloseHandle(h);
    }

    // Ticks until the player is idle, each file ending before the next tick.
    Paths playThrough()
    {
        std::size_t seen = 0;
        for (int i = 0; i < 200 && player_.controls().enabled(Ctl::Timer1); ++i) {
            player_.Timer1_Timer();
            if (mm_.opened().size() > seen) {
                seen = mm_.opened().size();
                mm_.finish();
            }
        }
        return mm_.opened();
    }
};

TEST_F(WinPlayerTest, PlaysTheTreeInPathOrderWithoutHiddenOrSystemEntries)
{
    tree_.makeFile("b.mp3");
    tree_.makeFile("A.MP3");
    tree_.makeFile("hidden.mp3");
    tree_.makeFile("song.mp3x"); // short name SONG~1.MP3
    tree_.makeFile("Sub/s.mp3");
    tree_.makeFile("Sub/Deeper/d.mp3");
    tree_.makeFile("Secret/x.mp3");
    tree_.makeFile("Sys/y.mp3");
    tree_.makeFile("pagefile.sys/z.mp3");
    tree_.makeFolder("Empty");
    setAttributes("hidden.mp3", FILE_ATTRIBUTE_HIDDEN);
    setAttributes("Secret", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    setAttributes("Sys", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM);

    const std::string root = tree_.path();
    options(root + "\\", 1);
    player_.cmdPlay_Click();
    EXPECT_EQ(player_.List1.items(), (Paths{root, root + "\\Empty", root + "\\Sub", root + "\\Sub\\Deeper"}));
    EXPECT_EQ(playThrough(), (Paths{root + "\\A.MP3", root + "\\b.mp3", root + "\\Sub\\s.mp3",
                             root + "\\Sub\\Deeper\\d.mp3"}));
    EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(WinPlayerTest, DateOrderFollowsTheCreationTimes)
{
    tree_.makeFile("a.mp3");
    tree_.makeFile("b.mp3");
    tree_.makeFile("c.mp3");
    setCreatedDay("a.mp3", 3);
    setCreatedDay("b.mp3", 1);
    setCreatedDay("c.mp3", 2);

    const std::string root = tree_.path();
    options(root, 0, true);
    player_.cmdPlay_Click();
    EXPECT_EQ(playThrough(), (Paths{root + "\\b.mp3", root + "\\c.mp3", root + "\\a.mp3"}));
}

// The play path "C:\" walks from the root "C:" to entries such as
// "C:\Songs", and a root file plays as "C:\name.mp3".
TEST_F(WinPlayerTest, DriveRootPlayPath)
{
    if (!underWine())
        GTEST_SKIP() << "walks a whole system drive; only a private Wine prefix is small enough";
    const std::string drive = tree_.path().substr(0, 2);
    ASSERT_EQ(drive[1], ':');
    const std::string stamp = std::to_string(GetCurrentProcessId());
    const std::string folder = drive + "\\orvane-root-" + stamp;
    const std::string file = drive + "\\orvane-root-" + stamp + ".mp3";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    struct Cleanup {
        std::string folder, file;
        ~Cleanup()
        {
            DeleteFileA(file.c_str());
            RemoveDirectoryA(folder.c_str());
        }
    } cleanup{folder, file};
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);

    options(drive + "\\", 0);
    player_.cmdPlay_Click();
    const Paths& folders = player_.List1.items();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.front(), drive);
    EXPECT_NE(std::find(folders.begin(), folders.end(), folder), folders.end());
    for (const auto& f : folders)
        EXPECT_EQ(f.find("\\\\"), std::string::npos) << f;

    player_.Timer1_Timer();
    EXPECT_EQ(mm_.opened(), Paths{file});
    player_.cmdStop_Click();
}

} // namespace
} // namespace orvane

#endif
