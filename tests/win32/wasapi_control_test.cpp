// The media control on Media Foundation and WASAPI where it has its own
// say: exact decoding, next files that follow without a gap across rates and
// channels, and no device at all (every "Play" then fails cleanly). What
// every control does is in tests/media/media_control_contract.h.

#include "win32/media_choice.h"
#include "win32/mf_decoder.h"
#include "platform/win_text.h"
#include "media_test_support.h"

#include <algorithm>
#include <cmath>

namespace orvane::test {
namespace {

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

// A resume point is sought with the source reader, and from that very frame
// on the decoder gives what a decoding from the start gives there, in the
// file's own rate and converted to another: the frames before it are
// dropped by the samples' own times, however far before the point the
// reader lands. (A frame off would differ by a sixtieth of full scale; the
// decoder's own rounding after a seek differs by a 16-bit step at most.)
TEST(MfDecoder, SoughtItGoesOnFromTheExactFrameADecodingFromTheStartGives)
{
    struct Case {
        int rate, channels, ms, outRate, outChannels;
        std::int64_t at; // output frames in
    };
    const std::vector<Case> cases = {
        {44100, 1, 6000, 44100, 1, 44100 * 4 + 17}, {44100, 1, 6000, 44100, 2, 44100 * 5},
        {44100, 1, 3000, 48000, 2, 48000 * 2 + 1},  {44100, 1, 3000, 44100, 1, 44100 / 2 + 3},
        {48000, 2, 1000, 48000, 2, 48000 / 2 + 5},  {48000, 2, 1000, 44100, 1, 30001},
        {44100, 2, 500, 44100, 2, 44100 / 5},       {44100, 1, 3000, 44100, 1, 88053},
        {44100, 2, 500, 48000, 2, 48000},           // past its end: nothing follows
    };
    for (const Case& c : cases) {
        const std::string path = tonePath(c.rate, c.channels, c.ms);
        SCOPED_TRACE(path + " into " + std::to_string(c.outRate) + " Hz from frame " + std::to_string(c.at));
        const auto whole = decodeAll(path, c.outRate, c.outChannels);
        const auto channels = static_cast<std::size_t>(c.outChannels);
        const std::size_t from = std::min(static_cast<std::size_t>(c.at) * channels, whole.size());
        auto decoder = MfDecoder::open(*win::toWide(path), c.outRate, c.outChannels);
        ASSERT_TRUE(decoder);
        const std::int64_t landed = decoder->seek(c.at);
        ASSERT_LE(landed, c.at);
        EXPECT_GT(landed, c.at / 2) << "sought, not decoded from the start";
        std::vector<float> rest;
        while (decoder->read(rest)) {
        }
        // What the reading drops: the frames from where it landed to the point.
        const auto dropped = static_cast<std::size_t>(c.at - landed) * channels;
        rest.erase(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(std::min(dropped, rest.size())));
        ASSERT_EQ(rest.size(), whole.size() - from);
        float worst = 0.0f;
        for (std::size_t i = 0; i < rest.size(); ++i)
            worst = std::max(worst, std::abs(rest[i] - whole[from + i]));
        EXPECT_LT(worst, 1e-4f);
    }
}

// Sought far into a long file (where the reader's seek lands by its own
// estimate), it still ends with its sound, not with the encoder's padding
// decoded as silence: the next file follows the sound without a gap.
TEST(MfDecoder, SoughtFarIntoALongFileItEndsWithItsSound)
{
    const std::string path = tonePath(44100, 1, 30000);
    for (const std::int64_t at : {44100 * 22 + 77, 44100 * 25 + 3, 44100 * 28 + 1000}) {
        SCOPED_TRACE("from frame " + std::to_string(at));
        auto decoder = MfDecoder::open(*win::toWide(path), 44100, 1);
        ASSERT_TRUE(decoder);
        EXPECT_GT(decoder->seek(at), at / 2);
        std::vector<float> rest;
        while (decoder->read(rest)) {
        }
        ASSERT_GT(rest.size(), 44100u);
        // The tone's last millisecond, not silence.
        float last = 0.0f;
        for (std::size_t i = rest.size() - 44; i < rest.size(); ++i)
            last = std::max(last, std::abs(rest[i]));
        EXPECT_GT(last, 0.05f);
    }
}

TEST(MfDecoder, RefusesWhatIsNoSound)
{
    TempTree tree;
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

class WasapiControlTest : public MediaControlTest<WasapiTraits> {
protected:
    void SetUp() override
    {
        MediaControlTest::SetUp();
        if (!IsSkipped())
            std::printf("sound device: %d Hz, %d channels\n", control.outputRate(), control.outputChannels());
    }

    std::string song(const std::string& name, int ms = 300, int rate = 44100, int channels = 1)
    {
        return tree.makeFile(name, toneBytes(rate, channels, ms));
    }
};

// The player's own way: each end answered with "Close", the next file opened
// and played at once, its follower named.
TEST_F(WasapiControlTest, FilesFollowEachOtherAcrossRatesAndChannelsOneCompletionEach)
{
    // Each file long enough for its follower's read-ahead to be ready under
    // Wine on a busy machine: what is checked is the join, not how soon.
    const std::vector<std::string> files = {song("a.mp3", 1000, 44100, 1), song("b.mp3", 1000, 48000, 2),
                                            song("c.mp3", 500, 44100, 2), song("d.mp3", 500, 48000, 1)};
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
    const std::vector<std::int64_t> lengths = {rate, rate, rate / 2, rate / 2};
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

// Tree repeat answers the completion, then stops and makes a new start (its
// "Close", "Close" and open-mode flags) before it opens the new pass's first
// file: the file already sounding for it plays on, in the same stream.
TEST_F(WasapiControlTest, NextFileSoundsOnThroughStopAndNewStartUntilOpened)
{
    control.setDoneHandler([this](int code) {
        codes.push_back(code);
        control.setCommand("Close");
    });
    const auto stopAndStartAgain = [this] {
        control.setCommand("Close");
        control.setCommand("Close");
        control.setNotify(false);
        control.setWait(true);
        control.setShareable(false);
    };
    // a long enough for b to open behind it on a loaded machine too: a next
    // file still opening when the last one is heard starts a stream afresh.
    const std::string a = song("a.mp3", 3000), b = song("b.mp3", 1000), c = song("c.mp3");
    const auto playWithNext = [&] {
        openAndPlay(a);
        control.setNextFileName(b);
    };
    playWithNext();
    ASSERT_TRUE(waitForCompletions(1));
    stopAndStartAgain();
    pumpFor(100);
    EXPECT_EQ(control.nextFile(), WasapiControl::NextFile::Started);
    openAndPlay(b);
    ASSERT_TRUE(waitForCompletions(2));
    const auto placed = control.placements();
    ASSERT_EQ(placed.size(), 2u) << "b started afresh";
    EXPECT_EQ(placed[1].first, placed[0].end);

    SCOPED_TRACE("the new pass begins with another file: the one sounding goes");
    control.setCommand("Close");
    playWithNext();
    ASSERT_TRUE(waitForCompletions(3));
    stopAndStartAgain();
    openAndPlay(c);
    EXPECT_EQ(control.nextFile(), WasapiControl::NextFile::None);
    ASSERT_TRUE(waitForCompletions(4));

    SCOPED_TRACE("a Stop during the walk silences it once the loop is back");
    control.setCommand("Close");
    playWithNext();
    ASSERT_TRUE(waitForCompletions(5));
    stopAndStartAgain();
    control.setCommand("Close");
    EXPECT_EQ(control.nextFile(), WasapiControl::NextFile::None);
    pumpFor(1500);
    EXPECT_EQ(codes, Codes(5, MMControl::NotifySuccessful));
}

// Whether something holds the file open: one who wants the file to himself
// (a tag editor, a copy over it) is then refused. The probe's own open keeps
// anyone else from opening the file meanwhile, so a file is probed only
// where no open of it is under way.
bool heldOpen(const std::string& path)
{
    const HANDLE file = CreateFileW(win::toWide(path)->c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

// A file is let go (its decoder and every object of Media Foundation behind
// it) as soon as the control is done with it: heard to its end, dropped as
// the next file, or closed while paused.
TEST_F(WasapiControlTest, FilesAreLetGoOnceDoneWith)
{
    const std::string a = song("a.mp3"), b = song("b.mp3"), c = song("c.mp3", 6000);
    EXPECT_EQ(playOnce(a), kSuccess);
    EXPECT_FALSE(heldOpen(a));

    codes.clear();
    openAndPlay(c);
    ASSERT_TRUE(pumpUntil([&] { return control.position() > 0.0; }));
    control.setCommand("pause");
    EXPECT_TRUE(heldOpen(c));
    control.setNextFileName(b);
    control.setNextFileName(a); // b goes
    pumpFor(500);
    EXPECT_FALSE(heldOpen(b));
    control.setCommand("Close");
    EXPECT_TRUE(pumpUntil([&] { return !heldOpen(a) && !heldOpen(c); }));
    EXPECT_TRUE(codes.empty());
}

// Run with Wine's sound drivers off, as on a system without a sound device,
// and with Media Foundation off, as on Windows N editions: every "Play" fails
// once, and says why. Without a device the control stays ready for one that
// comes later, and the player waits for it rather than passing over the file.
TEST(WasapiControlNoDevice, EveryPlayFailsOnceWhenItCannotPlay)
{
    WasapiControl control;
    if (control.hadDeviceAtStart())
        GTEST_SKIP() << "a sound device is there: the playing path is tested by WasapiControlTest";
    const bool noDevice = waveOutGetNumDevs() == 0;
    std::printf(noDevice ? "no sound device: every Play fails for want of one\n"
                         : "no Media Foundation: every Play fails\n");
    EXPECT_EQ(control.isReady(), noDevice) << "ready for a device to come, where Media Foundation is";
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
    EXPECT_EQ(codes, noDevice ? Codes{MMControl::NotifyNoDevice} : kFailure);
}

// Where a sound device is: the program plays through Media Foundation and
// WASAPI, or through MCI when asked to.
TEST(MediaChoice, TakesWasapiWhereItStartsAndMciWhenAsked)
{
    if (!WasapiControl().hadDeviceAtStart())
        GTEST_SKIP() << "no sound device: the choice is tested by MediaChoiceNoDevice";
    EXPECT_NE(dynamic_cast<WasapiControl*>(makeWinMediaControl().get()), nullptr);
    ASSERT_TRUE(SetEnvironmentVariableW(L"ORVANE_MEDIA", L"MCI"));
    const auto asked = makeWinMediaControl();
    SetEnvironmentVariableW(L"ORVANE_MEDIA", nullptr);
    EXPECT_NE(dynamic_cast<MciControl*>(asked.get()), nullptr);
}

// Without a sound device MCI cannot play a file that is sound enough; the
// player must learn that the device failed, not the file, so that it keeps
// its place and waits rather than passing over every file that follows.
TEST(MciControlNoDevice, APlayWithoutADeviceSaysTheDeviceFailed)
{
    if (waveOutGetNumDevs() > 0)
        GTEST_SKIP() << "a sound device is there: MCI plays, as the contract tests show";
    MciControl control;
    Codes codes;
    control.setDoneHandler([&](int code) { codes.push_back(code); });
    control.setFileName(tonePath(44100, 2, 300));
    control.setCommand("Open");
    control.setCommand("Play");
    ASSERT_TRUE(pumpUntil([&] { return !codes.empty(); }));
    control.setCommand("Close");
    pumpFor(300);
    EXPECT_EQ(codes, Codes{MMControl::NotifyNoDevice});
}

// Without Media Foundation the program plays through MCI; without a sound
// device it keeps Media Foundation and WASAPI, which take up the device that
// comes later, rather than MCI for the whole run.
TEST(MediaChoiceNoDevice, MciOnlyWithoutMediaFoundation)
{
    if (WasapiControl().hadDeviceAtStart())
        GTEST_SKIP() << "a sound device is there: the choice is tested by MediaChoice";
    const auto chosen = makeWinMediaControl();
    if (waveOutGetNumDevs() == 0)
        EXPECT_NE(dynamic_cast<WasapiControl*>(chosen.get()), nullptr);
    else
        EXPECT_NE(dynamic_cast<MciControl*>(chosen.get()), nullptr);
}

} // namespace
} // namespace orvane::test
