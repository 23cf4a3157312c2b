#pragma once

// What every media control must do, whatever it plays through, with real
// files in real time. Every wait runs the thread's event loop with a
// generous bound; nothing here depends on how long a file takes.
//
// Each test program instantiates the suite with traits of its own controls:
//
//   Control                the control, made with no arguments
//   name                   the control's name in the tests' names
//   mayLackDevice          a control without a sound device skips the suite
//   shortMs, longMs        a short file's length; one still playing after a moment
//   bytes(ms)              an MP3 file of about that length
//   otherBytes()           another short MP3 file, of another kind
//   namesAreBytes          file names are any bytes (not only UTF-8 text)
//   pumpUntil(condition, timeoutMs), pumpFor(ms)   the thread's event loop
//
// and where the control can tell or do more:
//
//   hasDevice(control)         a sound device is there (a control that may
//                              lack one and is ready without it)
//   waitForQueuedEnd(control)  waits, handling nothing, until the end of the
//                              playing file is queued for this thread unread
//   openedPaths(control)       every file the control began to load, in order
//   sounding(control)          the playing file is heard, and position() says where
//   moreStrangeNames(), moreRelativeNames()
//                              names only this platform's files can have

#include "media/mm_control.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace orvane::test {

// Silence as MPEG-1 Layer III: 24 ms frames (48 kHz, 64 kbit/s, mono) whose
// side information and main data are all zero.
inline std::string silentMp3(int milliseconds)
{
    std::string frame(192, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x54';
    frame[3] = '\xC0';
    std::string file;
    for (int ms = 0; ms < milliseconds; ms += 24)
        file += frame;
    return file;
}

using Codes = std::vector<int>;
inline const Codes kSuccess{MMControl::NotifySuccessful};
inline const Codes kFailure{MMControl::NotifyFailure};

template <class Traits>
constexpr bool kQueuesEnds = requires(typename Traits::Control& control) { Traits::waitForQueuedEnd(control); };
template <class Traits>
constexpr bool kListsOpened = requires(typename Traits::Control& control) { Traits::openedPaths(control); };
template <class Traits>
constexpr bool kTellsDevice = requires(typename Traits::Control& control) { Traits::hasDevice(control); };
template <class Traits>
constexpr bool kTellsSounding = requires(typename Traits::Control& control) { Traits::sounding(control); };

template <class Traits>
class MediaControlTest : public ::testing::Test {
protected:
    MediaControlTest()
    {
        control.setDoneHandler([this](int code) { codes.push_back(code); });
    }

    void SetUp() override
    {
        bool playable = control.isReady();
        if constexpr (kTellsDevice<Traits>)
            playable = playable && Traits::hasDevice(control);
        if (Traits::mayLackDevice && !playable)
            GTEST_SKIP() << "no sound device: the failing path is tested by " << Traits::name << "ControlNoDevice";
        ASSERT_TRUE(playable);
    }

    static bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 15000)
    {
        return Traits::pumpUntil(condition, timeoutMs);
    }
    static void pumpFor(int ms) { Traits::pumpFor(ms); }

    std::string song(const std::string& name, int ms = 300) { return tree.makeFile(name, Traits::bytes(ms)); }

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

    // The file completes, is answered with "Close", and was completed once,
    // well, with nothing more after.
    void completesOnceAndCloses(int afterMs)
    {
        ASSERT_TRUE(waitForCompletions(1));
        control.setCommand("Close");
        pumpFor(afterMs);
        EXPECT_EQ(codes, kSuccess);
    }

    // Holds the file just started: nothing completes while it is held, and
    // once resumed it completes once.
    void holdThenResume(int holdMs)
    {
        control.setCommand("pause");
        pumpFor(holdMs);
        EXPECT_TRUE(codes.empty());
        control.setCommand("pause");
        ASSERT_TRUE(waitForCompletions(1));
        pumpFor(500);
        EXPECT_EQ(codes, kSuccess);
    }

    // Lets the file just started be heard: until it sounds where the control
    // can tell, else for a moment.
    void letItSound()
    {
        if constexpr (kTellsSounding<Traits>) {
            ASSERT_TRUE(pumpUntil([&] { return Traits::sounding(control); }));
        } else {
            pumpFor(300);
        }
    }

    // What the control loaded, where it keeps a list: exactly these files.
    void expectOpened(const std::vector<std::string>& paths)
    {
        if constexpr (kListsOpened<Traits>) {
            EXPECT_EQ(Traits::openedPaths(control), paths);
        }
    }
    // The file it loaded last, that very name.
    void expectLastOpened(const std::string& path)
    {
        if constexpr (kListsOpened<Traits>) {
            const std::vector<std::string>& opened = Traits::openedPaths(control);
            ASSERT_FALSE(opened.empty());
            EXPECT_EQ(opened.back(), path);
        }
    }
    void expectNeverOpened(const std::string& path)
    {
        if constexpr (kListsOpened<Traits>) {
            const std::vector<std::string>& opened = Traits::openedPaths(control);
            EXPECT_EQ(std::find(opened.begin(), opened.end(), path), opened.end()) << path;
        }
    }

    TempTree tree;
    typename Traits::Control control;
    Codes codes;
};

template <class Traits>
using MediaControlContract = MediaControlTest<Traits>;

// Names the instances after their controls: <Program>/MediaControlContract/Mci.
struct ControlName {
    template <class Traits>
    static std::string GetName(int) { return Traits::name; }
};

TYPED_TEST_SUITE_P(MediaControlContract);

TYPED_TEST_P(MediaControlContract, FilesPlayToTheirEndsOneCompletionEach)
{
    // The handler answers each end with "Close" and goes straight on with
    // the next file, from inside the control's own report; nothing is loaded
    // before its own "Play".
    const std::vector<std::string> files = {this->song("a.mp3"), this->song("b.mp3", 1000),
                                            this->song("c.mp3", TypeParam::shortMs)};
    size_t next = 1;
    this->control.setDoneHandler([&](int code) {
        this->codes.push_back(code);
        this->expectOpened(std::vector<std::string>(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(next)));
        this->control.setCommand("Close");
        if (next < files.size())
            this->openAndPlay(files[next++]);
    });
    this->openAndPlay(files[0]);
    ASSERT_TRUE(this->waitForCompletions(3));
    this->pumpFor(600);
    EXPECT_EQ(this->codes, Codes(3, MMControl::NotifySuccessful));
    this->expectOpened(files);
}

TYPED_TEST_P(MediaControlContract, OpenAloneAndStrayCommandsNeverComplete)
{
    auto& control = this->control;
    const std::string a = this->song("a.mp3");
    control.setCommand("Close"); // nothing open yet
    control.setCommand("Play");  // nothing open: nothing to play
    control.setCommand("pause");
    control.setNotify(false);
    control.setWait(true);
    control.setShareable(false);
    control.setFileName(a);
    control.setCommand("Open");
    control.setCommand("play"); // commands are case sensitive
    control.setCommand("Pause");
    control.setCommand("Stop");
    control.setCommand("");
    this->pumpFor(1000);
    EXPECT_TRUE(this->codes.empty());
    this->expectOpened({});

    control.setCommand("Play");
    ASSERT_TRUE(this->waitForCompletions(1));
    this->pumpFor(300);
    EXPECT_EQ(this->codes, kSuccess);
    this->expectOpened({a});
}

TYPED_TEST_P(MediaControlContract, ClosedFileNeverCompletes)
{
    SCOPED_TRACE("closed while it plays");
    this->openAndPlay(this->song("long.mp3", TypeParam::longMs));
    this->control.setNextFileName(this->song("next.mp3"));
    ASSERT_NO_FATAL_FAILURE(this->letItSound());
    this->control.setCommand("Close");
    this->pumpFor(2000);
    EXPECT_TRUE(this->codes.empty());
    EXPECT_LT(this->control.position(), 0.0); // nothing is heard

    // The next file is held at once: any completion while it is held
    // belongs to the file before it.
    SCOPED_TRACE("ended by the next Open");
    this->openAndPlay(this->song("a.mp3", TypeParam::longMs));
    this->pumpFor(200);
    this->openAndPlay(this->song("b.mp3", 1000));
    ASSERT_NO_FATAL_FAILURE(this->holdThenResume(1000));
}

TYPED_TEST_P(MediaControlContract, PauseHoldsTheEndAndResumeCompletesOnce)
{
    // Held right after "Play": a second is far longer than the step between
    // the two commands, as for every file held that way here.
    auto& control = this->control;
    const std::string a = this->song("a.mp3", 1000);
    this->openAndPlay(a);
    control.setCommand("pause");
    this->pumpFor(2000); // twice the file's length
    EXPECT_TRUE(this->codes.empty());

    control.setCommand("pause"); // on again, and held once more
    this->pumpFor(100);
    control.setCommand("pause");
    this->pumpFor(2000);
    EXPECT_TRUE(this->codes.empty());

    control.setCommand("pause");
    ASSERT_TRUE(this->waitForCompletions(1));
    this->pumpFor(500);
    EXPECT_EQ(this->codes, kSuccess);

    // The file has ended: "pause" has nothing left to hold or resume.
    control.setCommand("pause");
    control.setCommand("pause");
    this->pumpFor(500);
    EXPECT_EQ(this->codes, kSuccess);
    this->expectOpened({a});

    SCOPED_TRACE("closed while held: the next file plays unheld");
    this->codes.clear();
    control.setCommand("Close");
    this->openAndPlay(this->song("b.mp3", 1000));
    control.setCommand("pause");
    this->pumpFor(1500);
    EXPECT_TRUE(this->codes.empty());
    control.setCommand("Close");
    EXPECT_EQ(this->playOnce(this->song("c.mp3", TypeParam::shortMs)), kSuccess);
}

TYPED_TEST_P(MediaControlContract, PauseHoldsWhereTheFileWasHeard)
{
    if constexpr (!kTellsSounding<TypeParam>) {
        GTEST_SKIP() << TypeParam::name << " cannot tell where in the file it is";
    } else {
        auto& control = this->control;
        const std::string a = this->song("a.mp3", 600);
        this->openAndPlay(a);
        ASSERT_TRUE(this->pumpUntil([&] { return TypeParam::sounding(control); }));

        control.setCommand("pause");
        const double pausedAt = control.position();
        this->pumpFor(700); // longer than what was left of the file
        EXPECT_TRUE(this->codes.empty());
        EXPECT_NEAR(control.position(), pausedAt, 0.05);

        control.setCommand("pause");
        this->pumpFor(60);
        EXPECT_GE(control.position(), pausedAt - 0.01); // resumed where it stopped, not restarted
        ASSERT_TRUE(this->waitForCompletions(1));
        this->pumpFor(150);
        EXPECT_EQ(this->codes, kSuccess);
        this->expectOpened({a});
    }
}

TYPED_TEST_P(MediaControlContract, PlayAgainStartsOverAndCompletesOnce)
{
    SCOPED_TRACE("again while paused");
    this->openAndPlay(this->song("a.mp3", 1000));
    this->control.setCommand("pause");
    this->control.setCommand("Play");
    ASSERT_TRUE(this->waitForCompletions(1));
    this->pumpFor(500);
    EXPECT_EQ(this->codes, kSuccess);

    SCOPED_TRACE("again while the first play runs");
    this->codes.clear();
    this->openAndPlay(this->song("long.mp3", TypeParam::longMs));
    this->pumpFor(200);
    this->control.setCommand("Play");
    ASSERT_NO_FATAL_FAILURE(this->holdThenResume(1500));
}

// The end of a file already queued for this thread but still unread belongs
// to that file, never to the one opened or played after it.
TYPED_TEST_P(MediaControlContract, QueuedEndOfAClosedOrReplacedFileNeverCompletes)
{
    if constexpr (!kQueuesEnds<TypeParam>) {
        GTEST_SKIP() << TypeParam::name << " has no end to catch queued";
    } else {
        auto& control = this->control;
        SCOPED_TRACE("closed with its end already queued, the next file opened alone");
        this->openAndPlay(this->song("a.mp3"));
        ASSERT_TRUE(TypeParam::waitForQueuedEnd(control));
        control.setCommand("Close");
        control.setFileName(this->song("b.mp3"));
        control.setCommand("Open");
        this->pumpFor(500);
        EXPECT_TRUE(this->codes.empty());
        control.setCommand("Play");
        ASSERT_TRUE(this->waitForCompletions(1));
        this->pumpFor(300);
        EXPECT_EQ(this->codes, kSuccess);
        control.setCommand("Close");

        // The next file is held at once: any completion while it is held
        // belongs to the file before it.
        SCOPED_TRACE("closed with its end already queued");
        this->codes.clear();
        this->openAndPlay(this->song("c.mp3"));
        ASSERT_TRUE(TypeParam::waitForQueuedEnd(control));
        control.setCommand("Close");
        this->openAndPlay(this->song("d.mp3", 1000));
        ASSERT_NO_FATAL_FAILURE(this->holdThenResume(1000));

        SCOPED_TRACE("ended by the next Open, with its end already queued");
        this->codes.clear();
        this->openAndPlay(this->song("e.mp3"));
        ASSERT_TRUE(TypeParam::waitForQueuedEnd(control));
        this->openAndPlay(this->song("f.mp3", 1000));
        control.setCommand("pause");
        this->pumpFor(1000);
        EXPECT_TRUE(this->codes.empty());
    }
}

TYPED_TEST_P(MediaControlContract, PlayAgainWithTheEndQueuedCompletesOnce)
{
    if constexpr (!kQueuesEnds<TypeParam>) {
        GTEST_SKIP() << TypeParam::name << " has no end to catch queued";
    } else {
        this->openAndPlay(this->song("a.mp3", 1000));
        ASSERT_TRUE(this->waitForCompletions(1));
        this->codes.clear();
        this->control.setCommand("Play");
        ASSERT_TRUE(TypeParam::waitForQueuedEnd(this->control));
        this->control.setCommand("Play");
        ASSERT_NO_FATAL_FAILURE(this->holdThenResume(1000));
    }
}

TYPED_TEST_P(MediaControlContract, UnplayableFilesFailOnceEach)
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

    SCOPED_TRACE("missing, a folder, no name");
    EXPECT_EQ(this->playOnce(this->tree.path("missing.mp3")), kFailure);
    EXPECT_EQ(this->playOnce(this->tree.makeFolder("folder.mp3")), kFailure);
    EXPECT_EQ(this->playOnce(""), kFailure);
    if constexpr (!TypeParam::namesAreBytes) {
        SCOPED_TRACE("a name that is not UTF-8"); // elsewhere a strange name that plays
        EXPECT_EQ(this->playOnce(this->tree.path() + static_cast<char>(std::filesystem::path::preferred_separator)
                                 + "bad \xff name.mp3"),
                  kFailure);
    }

    SCOPED_TRACE("a failure closed before it was reported");
    this->codes.clear();
    this->openAndPlay(this->tree.path("missing.mp3"));
    this->control.setCommand("Close");
    this->pumpFor(500);
    EXPECT_TRUE(this->codes.empty());

    SCOPED_TRACE("a good file still plays afterwards");
    EXPECT_EQ(this->playOnce(this->tree.makeFile("good.mp3", good)), kSuccess);
}

TYPED_TEST_P(MediaControlContract, NamesAndFilesNamingOtherFilesPlayNothing)
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
    this->expectNeverOpened(target);
}

// Restores the current folder when it goes.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::filesystem::path previous_;
};

TYPED_TEST_P(MediaControlContract, StrangeNamesPlayThatVeryFile)
{
    // Read as command text, options, properties or an address, each of these
    // names would open some other file, none of which exists, or a device of
    // another type.
    std::vector<std::string> names = {
        "with space.mp3",
        "quote's `tick` (round) [square] {curly}.mp3",
        "bang!mpegvideo.mp3",
        "type waveaudio alias x wait.mp3",
        "http;target.mp3",
        "semi;colon & ampersand, comma.mp3",
        "100%25 %s %n.mp3",
        "-leading dash.mp3",
        "--start=5.mp3",
        "${path} ${!x} ${=filename}.mp3",
        "unicode \xc3\xa9\xc3\xbc \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xb5.mp3",
    };
    if constexpr (TypeParam::namesAreBytes)
        names.push_back("latin1 \xe9\xff\xfe.mp3");
    if constexpr (requires { TypeParam::moreStrangeNames(); })
        for (const std::string& name : TypeParam::moreStrangeNames())
            names.push_back(name);
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string path = this->song(name, TypeParam::shortMs);
        EXPECT_EQ(this->playOnce(path), kSuccess);
        ASSERT_NO_FATAL_FAILURE(this->expectLastOpened(path));
    }

    SCOPED_TRACE("a relative name is a file in the current folder");
    std::vector<std::string> relative = {"relative.mp3", "-", "-song.mp3"};
    if constexpr (requires { TypeParam::moreRelativeNames(); })
        for (const std::string& name : TypeParam::moreRelativeNames())
            relative.push_back(name);
    for (const auto& name : relative)
        this->song(name, TypeParam::shortMs);
    std::vector<Codes> results;
    {
        const CurrentFolder here(this->tree.fsPath());
        for (const auto& name : relative) {
            SCOPED_TRACE(name);
            results.push_back(this->playOnce(name));
            ASSERT_NO_FATAL_FAILURE(this->expectLastOpened(this->tree.path(name)));
        }
    }
    EXPECT_EQ(results, std::vector<Codes>(relative.size(), kSuccess));
}

TYPED_TEST_P(MediaControlContract, RapidOpenAndCloseLeaveNoStaleCompletion)
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
            ASSERT_TRUE(this->pumpUntil([&] { return done.back() > 0; }));
            continue;
        }
        if (way == 2) // some of it handled first
            this->pumpFor(static_cast<int>(random() % 80));
        if constexpr (kQueuesEnds<TypeParam>) {
            if (way == 3) { // its end queued, unread
                ASSERT_TRUE(TypeParam::waitForQueuedEnd(this->control));
            }
        }
        current = -1;
        this->control.setCommand("Close");
    }
    current = -1;
    this->pumpFor(1000);
    EXPECT_EQ(stale, 0);
    for (size_t play = 0; play < done.size(); ++play)
        EXPECT_LE(done[play], 1) << "play " << play;
}

// A file opened and played from a position is heard from there (as far as
// the control says where it is) and completes once, as at its end; a
// position past its end completes it once as well. The start is for that
// "Play" only: the next one starts at the beginning.
TYPED_TEST_P(MediaControlContract, OpenAndPlayFromAPosition)
{
    auto& control = this->control;
    const std::string a = this->song("a.mp3", TypeParam::longMs);
    const double from = TypeParam::longMs / 1000.0 * 0.6;
    auto heardFrom = [&] {
        EXPECT_TRUE(this->pumpUntil([&] { return control.position() >= 0.0 || !this->codes.empty(); }));
        return control.position();
    };

    control.setFileName(a);
    control.setCommand("Open");
    control.setStartPosition(from);
    control.setCommand("Play");
    EXPECT_GE(heardFrom(), from - 0.05);
    ASSERT_NO_FATAL_FAILURE(this->completesOnceAndCloses(200));

    this->codes.clear();
    this->openAndPlay(a);
    EXPECT_LT(heardFrom(), from / 2);
    control.setCommand("Close");

    this->codes.clear();
    control.setFileName(a);
    control.setCommand("Open");
    control.setStartPosition(TypeParam::longMs / 1000.0 * 3);
    control.setCommand("Play");
    ASSERT_NO_FATAL_FAILURE(this->completesOnceAndCloses(300));
}

// A file moved within while it plays is heard from there; moved while
// paused, it stays paused there and goes on from there at the resume; it
// completes once, as at its end, and one moved past its end completes then.
TYPED_TEST_P(MediaControlContract, SeekMovesTheFileHeard)
{
    auto& control = this->control;
    // Long enough that a quarter of it is well clear of its ends.
    const int ms = TypeParam::longMs >= 3000 ? TypeParam::longMs : TypeParam::longMs * 2;
    const double length = ms / 1000.0;
    const std::string a = this->song("a.mp3", ms);
    auto heardNear = [&](double at) {
        return this->pumpUntil([&] { return control.position() >= at - 0.05 && control.position() < at + 0.5; }, 3000);
    };
    EXPECT_FALSE(control.canSeek()) << "nothing is open";
    this->openAndPlay(a);
    this->letItSound();
    ASSERT_TRUE(this->pumpUntil([&] { return control.canSeek(); }));
    control.seek(length * 0.5);
    EXPECT_TRUE(heardNear(length * 0.5)) << control.position();

    control.setCommand("pause");
    control.seek(length * 0.25);
    EXPECT_TRUE(heardNear(length * 0.25)) << control.position();
    this->pumpFor(300);
    EXPECT_NEAR(control.position(), length * 0.25, 0.06) << "held where it was moved to";
    control.setCommand("pause");
    EXPECT_TRUE(this->pumpUntil([&] { return control.position() > length * 0.25 + 0.1; }));
    EXPECT_LT(control.position(), length * 0.6) << "went on from there";
    ASSERT_NO_FATAL_FAILURE(this->completesOnceAndCloses(200));

    this->codes.clear();
    this->openAndPlay(a);
    this->letItSound();
    ASSERT_TRUE(this->pumpUntil([&] { return control.canSeek(); }));
    control.seek(length * 3);
    ASSERT_NO_FATAL_FAILURE(this->completesOnceAndCloses(200));
}

REGISTER_TYPED_TEST_SUITE_P(MediaControlContract, FilesPlayToTheirEndsOneCompletionEach,
                            OpenAloneAndStrayCommandsNeverComplete, ClosedFileNeverCompletes,
                            PauseHoldsTheEndAndResumeCompletesOnce, PauseHoldsWhereTheFileWasHeard,
                            PlayAgainStartsOverAndCompletesOnce, QueuedEndOfAClosedOrReplacedFileNeverCompletes,
                            PlayAgainWithTheEndQueuedCompletesOnce, UnplayableFilesFailOnceEach,
                            NamesAndFilesNamingOtherFilesPlayNothing, StrangeNamesPlayThatVeryFile,
                            RapidOpenAndCloseLeaveNoStaleCompletion, OpenAndPlayFromAPosition,
                            SeekMovesTheFileHeard);

} // namespace orvane::test
