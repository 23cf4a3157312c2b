// The media control on MCI, playing real files in real time through the
// system's "mpegvideo" device (under Wine: DirectShow on GStreamer, into
// ALSA's null device). Every wait polls the message loop with a generous
// bound; nothing here depends on how long a file takes.

#include "win32/mci_control.h"
#include "support/temp_tree.h"
#include "media_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace orvane {
namespace {

using Codes = std::vector<int>;
const Codes kSuccess{MMControl::NotifySuccessful};
const Codes kFailure{MMControl::NotifyFailure};

using test::pumpFor;
using test::pumpUntil;
using test::silentMp3;

// Waits, without handling anything, until MCI has queued a report for this
// thread: the end of the playing file is then on its way but unread.
bool waitForQueuedReport()
{
    const ULONGLONG end = GetTickCount64() + 15000;
    MSG message;
    while (!PeekMessageW(&message, nullptr, MM_MCINOTIFY, MM_MCINOTIFY, PM_NOREMOVE)) {
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
    return true;
}

class MciControlTest : public ::testing::Test {
protected:
    MciControlTest()
    {
        control.setDoneHandler([this](int code) { codes.push_back(code); });
    }

    void SetUp() override { ASSERT_TRUE(control.isReady()); }

    std::string song(const std::string& name, int ms = 300) { return tree.makeFile(name, silentMp3(ms)); }

    void openAndPlay(const std::string& path)
    {
        control.setFileName(path);
        control.setCommand("Open");
        control.setCommand("Play");
    }

    // Plays the file to its completion, answered with "Close" as the player
    // does; the completions it got.
    Codes playOnce(const std::string& path)
    {
        codes.clear();
        openAndPlay(path);
        EXPECT_TRUE(codes.empty()) << "raised from inside the command";
        pumpUntil([&] { return !codes.empty(); });
        control.setCommand("Close");
        pumpFor(200);
        return codes;
    }

    bool waitForCompletions(size_t count) { return pumpUntil([&] { return codes.size() >= count; }); }

    test::TempTree tree;
    MciControl control;
    Codes codes;
};

TEST_F(MciControlTest, FilesPlayToTheirEndsOneCompletionEach)
{
    // The handler answers each end with "Close" and goes straight on with
    // the next file, from inside the control's own report.
    const std::vector<std::string> files = {song("a.mp3"), song("b.mp3", 200), song("c.mp3", 100)};
    size_t next = 1;
    control.setDoneHandler([&](int code) {
        codes.push_back(code);
        control.setCommand("Close");
        if (next < files.size())
            openAndPlay(files[next++]);
    });
    openAndPlay(files[0]);
    ASSERT_TRUE(waitForCompletions(3));
    pumpFor(600);
    EXPECT_EQ(codes, Codes(3, MMControl::NotifySuccessful));
}

TEST_F(MciControlTest, OpenAloneAndStrayCommandsNeverComplete)
{
    control.setCommand("Close"); // nothing open yet
    control.setCommand("Play");  // nothing open: nothing to play
    control.setCommand("pause");
    control.setNotify(false);
    control.setWait(true);
    control.setShareable(false);
    control.setFileName(song("a.mp3"));
    control.setCommand("Open");
    control.setCommand("play"); // commands are case sensitive
    control.setCommand("Pause");
    control.setCommand("Stop");
    control.setCommand("");
    pumpFor(1000);
    EXPECT_TRUE(codes.empty());

    control.setCommand("Play");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(300);
    EXPECT_EQ(codes, kSuccess);
}

TEST_F(MciControlTest, ClosedFileNeverCompletes)
{
    SCOPED_TRACE("closed while it plays");
    openAndPlay(song("long.mp3", 1500));
    pumpFor(300);
    control.setCommand("Close");
    pumpFor(2000);
    EXPECT_TRUE(codes.empty());

    // The next file is held at once: any completion while it is held
    // belongs to the file before it.
    SCOPED_TRACE("closed with its end already queued");
    openAndPlay(song("a.mp3"));
    ASSERT_TRUE(waitForQueuedReport());
    control.setCommand("Close");
    openAndPlay(song("b.mp3", 1000));
    control.setCommand("pause");
    pumpFor(1000);
    EXPECT_TRUE(codes.empty());
    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);

    SCOPED_TRACE("ended by the next Open, with its end already queued");
    codes.clear();
    openAndPlay(song("c.mp3"));
    ASSERT_TRUE(waitForQueuedReport());
    openAndPlay(song("d.mp3", 1000));
    control.setCommand("pause");
    pumpFor(1000);
    EXPECT_TRUE(codes.empty());
}

TEST_F(MciControlTest, PauseHoldsTheEndAndResumeCompletesOnce)
{
    // Held right after "Play": a second is far longer than the step between
    // the two commands, as for every file held that way here.
    openAndPlay(song("a.mp3", 1000));
    control.setCommand("pause");
    pumpFor(2000); // twice the file's length
    EXPECT_TRUE(codes.empty());

    control.setCommand("pause"); // on again, and held once more
    pumpFor(100);
    control.setCommand("pause");
    pumpFor(2000);
    EXPECT_TRUE(codes.empty());

    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);

    // The file has ended: "pause" has nothing left to hold or resume.
    control.setCommand("pause");
    control.setCommand("pause");
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);
}

TEST_F(MciControlTest, PlayAgainStartsOverAndCompletesOnce)
{
    SCOPED_TRACE("again while paused");
    openAndPlay(song("a.mp3", 1000));
    control.setCommand("pause");
    control.setCommand("Play");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);

    SCOPED_TRACE("again with the end of the first play queued, and held");
    codes.clear();
    control.setCommand("Play");
    ASSERT_TRUE(waitForQueuedReport());
    control.setCommand("Play");
    control.setCommand("pause");
    pumpFor(1000);
    EXPECT_TRUE(codes.empty());
    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);
}

TEST_F(MciControlTest, UnplayableFilesFailOnceEach)
{
    const std::string good = silentMp3(300);
    std::string bitmap("BM", 2);
    bitmap.resize(70, '\0');
    const std::vector<std::pair<std::string, std::string>> files = {
        {"zero.mp3", ""},
        {"truncated.mp3", good.substr(0, 100)},
        {"text.mp3", "This is a letter, not a song.\n"},
        {"bitmap.mp3", bitmap},
    };
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        EXPECT_EQ(playOnce(tree.makeFile(name, content)), kFailure);
    }

    SCOPED_TRACE("missing, a folder, no name, a name that is not UTF-8");
    EXPECT_EQ(playOnce(tree.path("missing.mp3")), kFailure);
    EXPECT_EQ(playOnce(tree.makeFolder("folder.mp3")), kFailure);
    EXPECT_EQ(playOnce(""), kFailure);
    EXPECT_EQ(playOnce(tree.path() + "\\bad \xff name.mp3"), kFailure);

    SCOPED_TRACE("a failure closed before it was reported");
    codes.clear();
    openAndPlay(tree.path("missing.mp3"));
    control.setCommand("Close");
    pumpFor(500);
    EXPECT_TRUE(codes.empty());

    SCOPED_TRACE("a good file still plays afterwards");
    EXPECT_EQ(playOnce(tree.makeFile("good.mp3", good)), kSuccess);
}

TEST_F(MciControlTest, FilesNamingOtherFilesPlayNothing)
{
    // Were any of these followed, the target would play to a successful end.
    const std::string target = song("target.mp3");
    const std::vector<std::pair<std::string, std::string>> referrers = {
        {"m3u.mp3", "#EXTM3U\n#EXTINF:1,x\n" + target + "\n"},
        {"m3u-relative.mp3", "#EXTM3U\ntarget.mp3\n"},
        {"plain-list.mp3", target + "\r\n" + target + "\r\n"},
        {"pls.mp3", "[playlist]\nNumberOfEntries=1\nFile1=" + target + "\n"},
        {"asx.mp3", "<ASX version=\"3.0\"><Entry><Ref href=\"" + target + "\"/></Entry></ASX>\n"},
        {"wpl.mp3", "<?wpl version=\"1.0\"?><smil><body><seq><media src=\"" + target
                        + "\"/></seq></body></smil>\n"},
        {"urls.mp3", "http://127.0.0.1:9/a.mp3\nfile:///" + target + "\n"},
        {"hls.mp3", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\ntarget.mp3\n#EXT-X-ENDLIST\n"},
        {"cue.mp3", "FILE \"target.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"},
        {"ref.mp3", "[Reference]\nRef1=" + target + "\n"},
    };
    for (const auto& [name, content] : referrers) {
        SCOPED_TRACE(name);
        EXPECT_EQ(playOnce(tree.makeFile(name, content)), kFailure);
    }
}

TEST_F(MciControlTest, StrangeNamesPlayThatVeryFile)
{
    // Read as MCI command text, each of these names would open some other
    // file, none of which exists, or a device of another type.
    const std::vector<std::string> names = {
        "with space.mp3",
        "quote's `tick` (round) [square] {curly}.mp3",
        "bang!mpegvideo.mp3",
        "type waveaudio alias x wait.mp3",
        "semi;colon & ampersand, comma.mp3",
        "100%25 %s %n.mp3",
        "-leading dash.mp3",
        "unicode \xc3\xa9\xc3\xbc \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xb5.mp3",
    };
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(playOnce(song(name, 100)), kSuccess);
    }

    SCOPED_TRACE("a relative name is a file in the current folder");
    song("relative.mp3", 100);
    wchar_t previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(tree.fsPath().c_str()));
    const Codes relative = playOnce("relative.mp3");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(relative, kSuccess);
}

TEST_F(MciControlTest, RapidOpenAndCloseLeaveNoStaleCompletion)
{
    const std::vector<std::string> paths = {song("s0.mp3", 100), song("s1.mp3", 200)};
    int current = -1;      // the play whose completion may come
    std::vector<int> done; // completions per play
    int stale = 0;
    control.setDoneHandler([&](int code) {
        if (current < 0) {
            ++stale;
            return;
        }
        ++done[static_cast<size_t>(current)];
        EXPECT_EQ(code, MMControl::NotifySuccessful);
        control.setCommand("Close");
    });

    std::mt19937 random(2024);
    for (int play = 0; play < 24; ++play) {
        SCOPED_TRACE("play " + std::to_string(play));
        done.push_back(0);
        current = play;
        openAndPlay(paths[static_cast<size_t>(play) % paths.size()]);
        const unsigned way = random() % 4;
        if (way == 0) { // plays to its end
            ASSERT_TRUE(pumpUntil([&] { return done.back() > 0; }));
            continue;
        }
        if (way == 2) // some of it handled first
            pumpFor(static_cast<int>(random() % 80));
        if (way == 3) { // its end queued, unread
            ASSERT_TRUE(waitForQueuedReport());
        }
        current = -1;
        control.setCommand("Close");
    }
    current = -1;
    pumpFor(1000);
    EXPECT_EQ(stale, 0);
    for (size_t play = 0; play < done.size(); ++play)
        EXPECT_LE(done[play], 1) << "play " << play;
}

} // namespace
} // namespace orvane
