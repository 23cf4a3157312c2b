// What every media control of the Windows program must do, whatever it plays
// through, with real files in real time. Every wait polls the message loop
// with a generous bound; nothing here depends on how long a file takes.
// Another control joins with traits of its own (the libmpv one would pump
// Qt's event loop in place of the thread's messages).

#include "media_test_support.h"

#include <random>

namespace orvane::test {
namespace {

template <class Traits>
using MediaControlContract = MediaControlTest<Traits>;

struct ControlName {
    template <class Traits>
    static std::string GetName(int) { return Traits::name; }
};
using Controls = ::testing::Types<MciTraits, WasapiTraits>;
TYPED_TEST_SUITE(MediaControlContract, Controls, ControlName);

// Whether the control's end of a file can be caught queued but unread.
template <class Traits>
constexpr bool kQueuesEnds = requires { Traits::waitForQueuedEnd(); };

TYPED_TEST(MediaControlContract, FilesPlayToTheirEndsOneCompletionEach)
{
    // The handler answers each end with "Close" and goes straight on with
    // the next file, from inside the control's own report.
    const std::vector<std::string> files = {this->song("a.mp3"), this->song("b.mp3", 1000),
                                            this->song("c.mp3", TypeParam::shortMs)};
    size_t next = 1;
    this->control.setDoneHandler([&](int code) {
        this->codes.push_back(code);
        this->control.setCommand("Close");
        if (next < files.size())
            this->openAndPlay(files[next++]);
    });
    this->openAndPlay(files[0]);
    ASSERT_TRUE(this->waitForCompletions(3));
    pumpFor(600);
    EXPECT_EQ(this->codes, Codes(3, MMControl::NotifySuccessful));
}

TYPED_TEST(MediaControlContract, OpenAloneAndStrayCommandsNeverComplete)
{
    auto& control = this->control;
    control.setCommand("Close"); // nothing open yet
    control.setCommand("Play");  // nothing open: nothing to play
    control.setCommand("pause");
    control.setNotify(false);
    control.setWait(true);
    control.setShareable(false);
    control.setFileName(this->song("a.mp3"));
    control.setCommand("Open");
    control.setCommand("play"); // commands are case sensitive
    control.setCommand("Pause");
    control.setCommand("Stop");
    control.setCommand("");
    pumpFor(1000);
    EXPECT_TRUE(this->codes.empty());

    control.setCommand("Play");
    ASSERT_TRUE(this->waitForCompletions(1));
    pumpFor(300);
    EXPECT_EQ(this->codes, kSuccess);
}

TYPED_TEST(MediaControlContract, ClosedFileNeverCompletes)
{
    SCOPED_TRACE("closed while it plays");
    this->openAndPlay(this->song("long.mp3", TypeParam::longMs));
    this->control.setNextFileName(this->song("next.mp3"));
    pumpFor(300);
    this->control.setCommand("Close");
    pumpFor(2000);
    EXPECT_TRUE(this->codes.empty());

    // The next file is held at once: any completion while it is held
    // belongs to the file before it.
    SCOPED_TRACE("ended by the next Open");
    this->openAndPlay(this->song("a.mp3", TypeParam::longMs));
    pumpFor(200);
    this->openAndPlay(this->song("b.mp3", 1000));
    ASSERT_NO_FATAL_FAILURE(this->holdThenResume(1000));
}

TYPED_TEST(MediaControlContract, PauseHoldsTheEndAndResumeCompletesOnce)
{
    // Held right after "Play": a second is far longer than the step between
    // the two commands, as for every file held that way here.
    auto& control = this->control;
    this->openAndPlay(this->song("a.mp3", 1000));
    control.setCommand("pause");
    pumpFor(2000); // twice the file's length
    EXPECT_TRUE(this->codes.empty());

    control.setCommand("pause"); // on again, and held once more
    pumpFor(100);
    control.setCommand("pause");
    pumpFor(2000);
    EXPECT_TRUE(this->codes.empty());

    control.setCommand("pause");
    ASSERT_TRUE(this->waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(this->codes, kSuccess);

    // The file has ended: "pause" has nothing left to hold or resume.
    control.setCommand("pause");
    control.setCommand("pause");
    pumpFor(500);
    EXPECT_EQ(this->codes, kSuccess);
}

TYPED_TEST(MediaControlContract, PlayAgainStartsOverAndCompletesOnce)
{
    SCOPED_TRACE("again while paused");
    this->openAndPlay(this->song("a.mp3", 1000));
    this->control.setCommand("pause");
    this->control.setCommand("Play");
    ASSERT_TRUE(this->waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(this->codes, kSuccess);

    SCOPED_TRACE("again while the first play runs");
    this->codes.clear();
    this->openAndPlay(this->song("long.mp3", TypeParam::longMs));
    pumpFor(200);
    this->control.setCommand("Play");
    ASSERT_NO_FATAL_FAILURE(this->holdThenResume(1500));
}

TYPED_TEST(MediaControlContract, UnplayableFilesFailOnceEach)
{
    const std::string good = TypeParam::bytes(300);
    std::string bitmap("BM", 2);
    bitmap.resize(70, '\0');
    const std::vector<std::pair<std::string, std::string>> files = {
        {"zero.mp3", ""},
        {"truncated.mp3", good.substr(0, 100)},
        {"silent frames.mp3", silentMp3(300).substr(0, 100)},
        {"text.mp3", "This is a letter, not a song.\n"},
        {"bitmap.mp3", bitmap},
    };
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        EXPECT_EQ(this->playOnce(this->tree.makeFile(name, content)), kFailure);
    }

    SCOPED_TRACE("missing, a folder, no name, a name that is not UTF-8");
    EXPECT_EQ(this->playOnce(this->tree.path("missing.mp3")), kFailure);
    EXPECT_EQ(this->playOnce(this->tree.makeFolder("folder.mp3")), kFailure);
    EXPECT_EQ(this->playOnce(""), kFailure);
    EXPECT_EQ(this->playOnce(this->tree.path() + "\\bad \xff name.mp3"), kFailure);

    SCOPED_TRACE("a failure closed before it was reported");
    this->codes.clear();
    this->openAndPlay(this->tree.path("missing.mp3"));
    this->control.setCommand("Close");
    pumpFor(500);
    EXPECT_TRUE(this->codes.empty());

    SCOPED_TRACE("a good file still plays afterwards");
    EXPECT_EQ(this->playOnce(this->tree.makeFile("good.mp3", good)), kSuccess);
}

TYPED_TEST(MediaControlContract, NamesAndFilesNamingOtherFilesPlayNothing)
{
    // Were any of these followed, the target would play to a successful end.
    const std::string target = this->song("target.mp3");
    std::string forward = target;
    for (char& c : forward)
        if (c == '\\')
            c = '/';
    const std::vector<std::string> addresses = {
        "file:///" + forward,
        "file://" + forward,
        "http://127.0.0.1:9/target.mp3",
        "https://localhost/target.mp3",
        "mms://localhost/target.mp3",
    };
    for (const auto& address : addresses) {
        SCOPED_TRACE(address);
        EXPECT_EQ(this->playOnce(address), kFailure);
    }
    const std::vector<std::pair<std::string, std::string>> referrers = {
        {"m3u.mp3", "#EXTM3U\n#EXTINF:1,x\n" + target + "\n"},
        {"m3u-relative.mp3", "#EXTM3U\ntarget.mp3\n"},
        {"plain-list.mp3", target + "\r\n" + target + "\r\n"},
        {"pls.mp3", "[playlist]\nNumberOfEntries=1\nFile1=" + target + "\n"},
        {"asx.mp3", "<ASX version=\"3.0\"><Entry><Ref href=\"" + target + "\"/></Entry></ASX>\n"},
        {"wpl.mp3", "<?wpl version=\"1.0\"?><smil><body><seq><media src=\"" + target
                        + "\"/></seq></body></smil>\n"},
        {"urls.mp3", "http://127.0.0.1:9/a.mp3\nfile:///" + target + "\n"},
        {"urls-forward.mp3", "http://127.0.0.1:9/a.mp3\nfile:///" + forward + "\n"},
        {"hls.mp3", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\ntarget.mp3\n#EXT-X-ENDLIST\n"},
        {"cue.mp3", "FILE \"target.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"},
        {"ref.mp3", "[Reference]\nRef1=" + target + "\n"},
    };
    for (const auto& [name, content] : referrers) {
        SCOPED_TRACE(name);
        EXPECT_EQ(this->playOnce(this->tree.makeFile(name, content)), kFailure);
    }
}

TYPED_TEST(MediaControlContract, StrangeNamesPlayThatVeryFile)
{
    // Read as MCI command text or as an address, each of these names would
    // open some other file, none of which exists, or a device of another type.
    const std::vector<std::string> names = {
        "with space.mp3",
        "quote's `tick` (round) [square] {curly}.mp3",
        "bang!mpegvideo.mp3",
        "type waveaudio alias x wait.mp3",
        "http;target.mp3",
        "semi;colon & ampersand, comma.mp3",
        "100%25 %s %n.mp3",
        "-leading dash.mp3",
        "unicode \xc3\xa9\xc3\xbc \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xb5.mp3",
    };
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(this->playOnce(this->song(name, TypeParam::shortMs)), kSuccess);
    }

    SCOPED_TRACE("a relative name is a file in the current folder");
    this->song("relative.mp3", TypeParam::shortMs);
    wchar_t previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(this->tree.fsPath().c_str()));
    const Codes relative = this->playOnce("relative.mp3");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(relative, kSuccess);
}

TYPED_TEST(MediaControlContract, RapidOpenAndCloseLeaveNoStaleCompletion)
{
    const std::vector<std::string> paths = {this->song("s0.mp3", TypeParam::shortMs),
                                            this->tree.makeFile("s1.mp3", TypeParam::otherBytes())};
    int current = -1;      // the play whose completion may come
    std::vector<int> done; // completions per play
    int stale = 0;
    this->control.setDoneHandler([&](int code) {
        if (current < 0) {
            ++stale;
            return;
        }
        ++done[static_cast<size_t>(current)];
        EXPECT_EQ(code, MMControl::NotifySuccessful);
        this->control.setCommand("Close");
    });

    std::mt19937 random(2024);
    for (int play = 0; play < 24; ++play) {
        SCOPED_TRACE("play " + std::to_string(play));
        done.push_back(0);
        current = play;
        this->openAndPlay(paths[static_cast<size_t>(play) % paths.size()]);
        if (random() % 2)
            this->control.setNextFileName(paths[static_cast<size_t>(play + 1) % paths.size()]);
        const unsigned way = random() % (kQueuesEnds<TypeParam> ? 4 : 3);
        if (way == 0) { // plays to its end
            ASSERT_TRUE(pumpUntil([&] { return done.back() > 0; }));
            continue;
        }
        if (way == 2) // some of it handled first
            pumpFor(static_cast<int>(random() % 80));
        if constexpr (kQueuesEnds<TypeParam>) {
            if (way == 3) { // its end queued, unread
                ASSERT_TRUE(TypeParam::waitForQueuedEnd());
            }
        }
        current = -1;
        this->control.setCommand("Close");
    }
    current = -1;
    pumpFor(1000);
    EXPECT_EQ(stale, 0);
    for (size_t play = 0; play < done.size(); ++play)
        EXPECT_LE(done[play], 1) << "play " << play;
}

} // namespace
} // namespace orvane::test
