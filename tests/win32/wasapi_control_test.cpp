// The media control on Media Foundation and WASAPI, playing lame-encoded
// tones through the default sound device (under Wine: its ALSA driver into
// ALSA's null device, or no device at all, where every "Play" must fail
// cleanly). Every wait polls the message loop with a generous bound. Wine's
// ALSA driver takes from the stream faster than real time (a few times, into
// the null device), so a file that must still be playing after a moment is a
// six-second one.

#include "win32/mci_control.h"
#include "win32/media_choice.h"
#include "win32/mf_decoder.h"
#include "win32/wasapi_control.h"
#include "platform/win_text.h"
#include "support/temp_tree.h"
#include "media_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
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

// The tones tests/win32/make_tones.sh wrote, through Wine's drive for "/".
std::string tonePath(int rate, int channels, int ms)
{
    std::string path = std::string("Z:") + ORVANE_TONE_DIR + "/tone-" + std::to_string(rate) + "-"
        + std::to_string(channels) + "-" + std::to_string(ms) + ".mp3";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string toneBytes(int rate, int channels, int ms)
{
    std::ifstream in(tonePath(rate, channels, ms), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<float> decodeAll(const std::string& path, int rate, int channels)
{
    auto decoder = MfDecoder::open(*win::toWide(path), rate, channels);
    std::vector<float> all;
    if (!decoder)
        return all;
    while (decoder->read(all)) {
    }
    return all;
}

TEST(MfDecoder, GivesEachFileItsExactLengthFromItsFirstSample)
{
    struct Case {
        int rate, channels, ms;
    };
    for (const Case c : {Case{44100, 1, 1000}, Case{44100, 2, 500}, Case{48000, 2, 1000}, Case{48000, 1, 500}}) {
        SCOPED_TRACE(tonePath(c.rate, c.channels, c.ms));
        ASSERT_FALSE(toneBytes(c.rate, c.channels, c.ms).empty());
        const auto own = decodeAll(tonePath(c.rate, c.channels, c.ms), c.rate, c.channels);
        const std::size_t frames = static_cast<std::size_t>(c.rate) * static_cast<std::size_t>(c.ms) / 1000;
        EXPECT_EQ(own.size(), frames * static_cast<std::size_t>(c.channels));
        // The tone starts at 0 and its next sample is a sixtieth of full
        // scale: nothing of the encoder's silence is left before it.
        ASSERT_GT(own.size(), 4u * static_cast<std::size_t>(c.channels));
        EXPECT_LT(std::abs(own[0]), 0.01f);
        EXPECT_GT(std::abs(own[static_cast<std::size_t>(c.channels)]), 0.01f);

        SCOPED_TRACE("in the other rate, stereo");
        const int other = c.rate == 44100 ? 48000 : 44100;
        const auto converted = decodeAll(tonePath(c.rate, c.channels, c.ms), other, 2);
        EXPECT_EQ(converted.size(), 2u * static_cast<std::size_t>(other) * static_cast<std::size_t>(c.ms) / 1000);
        for (std::size_t i = 0; i + 1 < converted.size(); i += 2)
            ASSERT_EQ(converted[i], converted[i + 1]) << "frame " << i / 2;
    }
}

TEST(MfDecoder, RefusesWhatIsNoSound)
{
    test::TempTree tree;
    std::string bitmap("BM", 2);
    bitmap.resize(70, '\0');
    const std::string target = tree.makeFile("target.mp3", toneBytes(44100, 1, 300));
    ASSERT_FALSE(decodeAll(target, 44100, 1).empty());
    const std::vector<std::pair<std::string, std::string>> files = {
        {"zero.mp3", ""},
        {"text.mp3", "This is a letter, not a song.\n"},
        {"bitmap.mp3", bitmap},
        {"m3u.mp3", "#EXTM3U\n#EXTINF:1,x\n" + target + "\n"},
        {"urls.mp3", "http://127.0.0.1:9/a.mp3\nfile:///" + target + "\n"},
    };
    for (const auto& [name, content] : files)
        EXPECT_TRUE(decodeAll(tree.makeFile(name, content), 44100, 1).empty()) << name;
    EXPECT_TRUE(decodeAll(tree.path("missing.mp3"), 44100, 1).empty());
}

class WasapiControlTest : public ::testing::Test {
protected:
    WasapiControlTest()
    {
        control.setDoneHandler([this](int code) { codes.push_back(code); });
    }

    void SetUp() override
    {
        if (!control.isReady())
            GTEST_SKIP() << "no sound device: the failing path is tested by WasapiControlNoDevice";
        std::printf("sound device: %d Hz, %d channels\n", control.outputRate(), control.outputChannels());
    }

    std::string song(const std::string& name, int ms = 300, int rate = 44100, int channels = 1)
    {
        return tree.makeFile(name, toneBytes(rate, channels, ms));
    }

    void openAndPlay(const std::string& path)
    {
        control.setFileName(path);
        control.setCommand("Open");
        control.setCommand("Play");
    }

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
    WasapiControl control;
    Codes codes;
};

// The player's own way: each end answered with "Close", the next file opened
// and played at once, its follower named.
TEST_F(WasapiControlTest, FilesFollowEachOtherAcrossRatesAndChannelsOneCompletionEach)
{
    const std::vector<std::string> files = {song("a.mp3", 500, 44100, 2), song("b.mp3", 500, 48000, 1),
                                            song("c.mp3", 300), song("d.mp3", 1000, 48000, 2)};
    size_t next = 1;
    std::vector<WasapiControl::NextFile> atEnd;
    control.setDoneHandler([&](int code) {
        codes.push_back(code);
        atEnd.push_back(control.nextFile());
        control.setCommand("Close");
        if (next < files.size()) {
            openAndPlay(files[next++]);
            control.setNextFileName(next < files.size() ? files[next] : "");
        }
    });
    openAndPlay(files[0]);
    control.setNextFileName(files[1]);
    EXPECT_EQ(control.nextFile(), WasapiControl::NextFile::Queued);
    ASSERT_TRUE(waitForCompletions(4));
    pumpFor(500);
    EXPECT_EQ(codes, Codes(4, MMControl::NotifySuccessful));
    // Each next file already sounded when the one before it was done.
    using N = WasapiControl::NextFile;
    EXPECT_EQ(atEnd, (std::vector<N>{N::Started, N::Started, N::Started, N::None}));

    // One after the other in the stream, sample to sample, each whole at the
    // stream's rate: no gap, nothing cut, no file at the wrong speed.
    const auto placed = control.placements();
    ASSERT_EQ(placed.size(), 4u);
    const std::int64_t rate = control.outputRate();
    const std::vector<std::int64_t> lengths = {rate / 2, rate / 2, rate * 3 / 10, rate};
    for (size_t i = 0; i < placed.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i));
        EXPECT_EQ(placed[i].end - placed[i].first, lengths[i]);
        if (i > 0) {
            EXPECT_EQ(placed[i].first, placed[i - 1].end);
        }
    }
}

TEST_F(WasapiControlTest, NextFileNeverCutsThePlayingOneNorPlaysUnasked)
{
    SCOPED_TRACE("a next file that cannot play: the playing one ends whole, the other fails on its own Play");
    const std::string bad = tree.makeFile("bad.mp3", "not a song");
    openAndPlay(song("a.mp3"));
    control.setNextFileName(bad);
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_EQ(codes, kSuccess);
    EXPECT_EQ(control.nextFile(), WasapiControl::NextFile::None);
    control.setCommand("Close");
    EXPECT_EQ(playOnce(bad), kFailure);

    SCOPED_TRACE("another file opened than the one named: the named one is dropped");
    codes.clear();
    openAndPlay(song("b.mp3"));
    control.setNextFileName(song("c.mp3", 3000, 44100, 1));
    ASSERT_TRUE(waitForCompletions(1));
    control.setCommand("Close");
    EXPECT_EQ(playOnce(song("d.mp3")), kSuccess);
    EXPECT_EQ(control.nextFile(), WasapiControl::NextFile::None);

    SCOPED_TRACE("after the last end nothing more sounds or completes");
    codes.clear();
    openAndPlay(song("e.mp3"));
    control.setNextFileName(song("f.mp3"));
    ASSERT_TRUE(waitForCompletions(1));
    control.setCommand("Close"); // the player stops here: no Open follows
    control.setCommand("Close");
    pumpFor(1000);
    EXPECT_EQ(codes, kSuccess);
    EXPECT_EQ(control.nextFile(), WasapiControl::NextFile::None);
}

TEST_F(WasapiControlTest, OpenAloneAndStrayCommandsNeverComplete)
{
    control.setCommand("Close");
    control.setCommand("Play");
    control.setCommand("pause");
    control.setNotify(false);
    control.setWait(true);
    control.setShareable(false);
    control.setFileName(song("a.mp3"));
    control.setCommand("Open");
    control.setCommand("play");
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

TEST_F(WasapiControlTest, ClosedFileNeverCompletes)
{
    SCOPED_TRACE("closed while it plays");
    openAndPlay(song("long.mp3", 6000));
    control.setNextFileName(song("next.mp3"));
    pumpFor(300);
    control.setCommand("Close");
    pumpFor(1500);
    EXPECT_TRUE(codes.empty());

    SCOPED_TRACE("ended by the next Open");
    openAndPlay(song("a.mp3", 6000));
    pumpFor(200);
    openAndPlay(song("b.mp3", 1000));
    control.setCommand("pause");
    pumpFor(1000);
    EXPECT_TRUE(codes.empty());
    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);
}

TEST_F(WasapiControlTest, PauseHoldsTheEndAndResumeCompletesOnce)
{
    openAndPlay(song("a.mp3", 1000));
    control.setCommand("pause");
    pumpFor(2000);
    EXPECT_TRUE(codes.empty());

    control.setCommand("pause");
    pumpFor(100);
    control.setCommand("pause");
    pumpFor(2000);
    EXPECT_TRUE(codes.empty());

    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);

    control.setCommand("pause");
    control.setCommand("pause");
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);
}

TEST_F(WasapiControlTest, PlayAgainStartsOverAndCompletesOnce)
{
    openAndPlay(song("a.mp3", 1000));
    control.setCommand("pause");
    control.setCommand("Play");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);

    SCOPED_TRACE("again while the first play runs");
    codes.clear();
    openAndPlay(song("long.mp3", 6000));
    pumpFor(200);
    control.setCommand("Play");
    control.setCommand("pause");
    pumpFor(1500);
    EXPECT_TRUE(codes.empty());
    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(1));
    pumpFor(500);
    EXPECT_EQ(codes, kSuccess);
}

TEST_F(WasapiControlTest, UnplayableFilesFailOnceEach)
{
    const std::string good = toneBytes(44100, 1, 300);
    std::string bitmap("BM", 2);
    bitmap.resize(70, '\0');
    const std::vector<std::pair<std::string, std::string>> files = {
        {"zero.mp3", ""},
        {"truncated.mp3", good.substr(0, 100)},
        {"text.mp3", "This is a letter, not a song.\n"},
        {"bitmap.mp3", bitmap},
        {"silent frames.mp3", test::silentMp3(300).substr(0, 100)},
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

TEST_F(WasapiControlTest, NamesAndFilesNamingOtherFilesPlayNothing)
{
    // Were any of these followed, the target would play to a successful end.
    const std::string target = song("target.mp3");
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
        EXPECT_EQ(playOnce(address), kFailure);
    }
    const std::vector<std::pair<std::string, std::string>> referrers = {
        {"m3u.mp3", "#EXTM3U\n#EXTINF:1,x\n" + target + "\n"},
        {"pls.mp3", "[playlist]\nNumberOfEntries=1\nFile1=" + target + "\n"},
        {"asx.mp3", "<ASX version=\"3.0\"><Entry><Ref href=\"" + target + "\"/></Entry></ASX>\n"},
        {"urls.mp3", "http://127.0.0.1:9/a.mp3\nfile:///" + forward + "\n"},
        {"ref.mp3", "[Reference]\nRef1=" + target + "\n"},
    };
    for (const auto& [name, content] : referrers) {
        SCOPED_TRACE(name);
        EXPECT_EQ(playOnce(tree.makeFile(name, content)), kFailure);
    }
}

TEST_F(WasapiControlTest, StrangeNamesPlayThatVeryFile)
{
    const std::vector<std::string> names = {
        "with space.mp3",
        "quote's `tick` (round) [square] {curly}.mp3",
        "http;target.mp3",
        "semi;colon & ampersand, comma.mp3",
        "100%25 %s %n.mp3",
        "-leading dash.mp3",
        "unicode \xc3\xa9\xc3\xbc \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x8e\xb5.mp3",
    };
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(playOnce(song(name, 300)), kSuccess);
    }

    SCOPED_TRACE("a relative name is a file in the current folder");
    song("relative.mp3", 300);
    wchar_t previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(tree.fsPath().c_str()));
    const Codes relative = playOnce("relative.mp3");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(relative, kSuccess);
}

TEST_F(WasapiControlTest, RapidOpenAndCloseLeaveNoStaleCompletion)
{
    const std::vector<std::string> paths = {song("s0.mp3", 300), song("s1.mp3", 1000, 48000, 2)};
    int current = -1;
    std::vector<int> done;
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
        if (random() % 2)
            control.setNextFileName(paths[static_cast<size_t>(play + 1) % paths.size()]);
        const unsigned way = random() % 3;
        if (way == 0) {
            ASSERT_TRUE(pumpUntil([&] { return done.back() > 0; }));
            continue;
        }
        if (way == 2)
            pumpFor(static_cast<int>(random() % 80));
        current = -1;
        control.setCommand("Close");
    }
    current = -1;
    pumpFor(1000);
    EXPECT_EQ(stale, 0);
    for (size_t play = 0; play < done.size(); ++play)
        EXPECT_LE(done[play], 1) << "play " << play;
}

// Run with Wine's sound drivers off, as on a system without a sound device,
// and with Media Foundation off, as on Windows N editions.
TEST(WasapiControlNoDevice, EveryPlayFailsOnceWhenNotReady)
{
    WasapiControl control;
    if (control.isReady())
        GTEST_SKIP() << "a sound device is there: the playing path is tested by WasapiControlTest";
    std::printf("no sound device: every Play fails\n");
    Codes codes;
    control.setDoneHandler([&](int code) { codes.push_back(code); });
    control.setFileName(tonePath(44100, 1, 300));
    control.setCommand("Open");
    control.setCommand("Play");
    control.setNextFileName(tonePath(44100, 1, 1000));
    control.setCommand("pause");
    EXPECT_TRUE(codes.empty());
    ASSERT_TRUE(pumpUntil([&] { return !codes.empty(); }));
    control.setCommand("Close");
    pumpFor(300);
    EXPECT_EQ(codes, kFailure);
}

// Where a sound device is: the program plays through Media Foundation and
// WASAPI, or through MCI when asked to.
TEST(MediaChoice, TakesWasapiWhereItStartsAndMciWhenAsked)
{
    if (!WasapiControl().isReady())
        GTEST_SKIP() << "no sound device: the fallback is tested by MediaChoiceNoDevice";
    EXPECT_NE(dynamic_cast<WasapiControl*>(makeWinMediaControl().get()), nullptr);
    ASSERT_TRUE(SetEnvironmentVariableW(L"ORVANE_MEDIA", L"MCI"));
    const auto asked = makeWinMediaControl();
    SetEnvironmentVariableW(L"ORVANE_MEDIA", nullptr);
    EXPECT_NE(dynamic_cast<MciControl*>(asked.get()), nullptr);
}

TEST(MediaChoiceNoDevice, FallsBackToMci)
{
    if (WasapiControl().isReady())
        GTEST_SKIP() << "a sound device is there: the choice is tested by MediaChoice";
    EXPECT_NE(dynamic_cast<MciControl*>(makeWinMediaControl().get()), nullptr);
}

} // namespace
} // namespace orvane
