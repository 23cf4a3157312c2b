// The libmpv control where it has its own say: many plays on the untimed
// output, the whole file heard before its completion, the next file queued
// behind the playing one and taken over, the default output. What every
// control does is in tests/media/media_control_contract.h.

#include "qt/mpv_control.h"
#include "qt/mpv_fixtures.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace orvane {
namespace {

using testing::MpvTempDir;
using testing::spinFor;
using testing::spinUntil;
using testing::writeBytes;
using testing::writeSineMp3;

// Lets mpv finish whatever it is doing without the window thread looking, so
// that its events pile up unread.
void sleepWithoutEvents(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class MpvControlTest : public ::testing::Test {
protected:
    explicit MpvControlTest(MpvControl::Output output = MpvControl::Output::NullUntimed)
        : control(output)
    {
        control.setDoneHandler([this](int code) { codes.push_back(code); });
    }

    void SetUp() override { ASSERT_TRUE(control.isReady()); }

    std::string tone(const std::string& name, double seconds = 0.2)
    {
        const std::string path = dir.file(name);
        writeSineMp3(path, seconds);
        return path;
    }

    void openAndPlay(const std::string& path)
    {
        control.setFileName(path);
        control.setCommand("Open");
        control.setCommand("Play");
    }

    bool waitForCompletions(size_t count, int timeoutMs = 10000)
    {
        return spinUntil([&] { return codes.size() >= count; }, timeoutMs);
    }

    MpvTempDir dir;
    MpvControl control;
    std::vector<int> codes;
};

// Far more plays than the contract's, ends coming as fast as the files decode.
TEST_F(MpvControlTest, StressNeverDeliversStaleAndNeverLosesDue)
{
    constexpr int files = 4;
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i)
        paths.push_back(tone("s" + std::to_string(i) + ".mp3", 0.05 + 0.05 * i));

    int current = -1;           // the play whose completion may come
    std::vector<int> completed; // completions per play
    int stale = 0;
    control.setDoneHandler([&](int code) {
        if (current < 0) {
            ++stale;
            return;
        }
        ++completed[static_cast<size_t>(current)];
        EXPECT_EQ(code, MMControl::NotifySuccessful);
        control.setCommand("Close");
    });

    std::mt19937 random(12345);
    for (int play = 0; play < 300; ++play) {
        completed.push_back(0);
        current = play;
        control.setFileName(paths[static_cast<size_t>(play % files)]);
        control.setCommand("Open");
        control.setCommand("Play");
        switch (random() % 4) {
        case 0: // plays to its end
            ASSERT_TRUE(spinUntil([&] { return completed.back() > 0; })) << "play " << play;
            spinFor(static_cast<int>(random() % 10));
            break;
        case 1: // closed at once
            break;
        case 2: // closed after some events were handled
            spinFor(static_cast<int>(random() % 8));
            break;
        case 3: // closed while its end waits unread
            sleepWithoutEvents(static_cast<int>(random() % 30));
            break;
        }
        current = -1;
        control.setCommand("Close");
        ASSERT_LE(completed.back(), 1) << "play " << play;
    }
    spinFor(300);
    EXPECT_EQ(stale, 0);
}

class MpvTimedControlTest : public MpvControlTest {
protected:
    MpvTimedControlTest() : MpvControlTest(MpvControl::Output::NullTimed) {}
};

// The player answers the completion with "Close", which drops whatever audio
// is still queued: the completion must wait until the file has been heard.
TEST_F(MpvTimedControlTest, CompletionComesOnlyAfterTheWholeFileHasPlayed)
{
    for (double seconds : {0.3, 0.6}) {
        SCOPED_TRACE(seconds);
        codes.clear();
        QElapsedTimer clock;
        clock.start();
        openAndPlay(tone("a.mp3", seconds));
        ASSERT_TRUE(waitForCompletions(1));
        EXPECT_GE(clock.elapsed(), std::lround(seconds * 1000) - 20);
        control.setCommand("Close");
    }
}

// With a sound output the default output plays in real time; without one (as
// on build machines) mpv falls back to a silent output, and the file fails at
// once for want of a device rather than playing unheard.
TEST(MpvDefaultOutputTest, PlaysWithASoundOutputAndFailsForWantOfOneWithout)
{
    MpvTempDir dir;
    const std::string quiet = dir.file("quiet.mp3");
    writeSineMp3(quiet, 0.3, true);
    MpvControl control(MpvControl::Output::Default);
    ASSERT_TRUE(control.isReady());
    std::vector<int> codes;
    control.setDoneHandler([&](int code) { codes.push_back(code); });
    QElapsedTimer clock;
    clock.start();
    control.setFileName(quiet);
    control.setCommand("Open");
    control.setCommand("Play");
    ASSERT_TRUE(spinUntil([&] { return !codes.empty(); }));
    const bool heard = codes.front() == MMControl::NotifySuccessful;
    EXPECT_TRUE(heard || codes.front() == MMControl::NotifyNoDevice) << codes.front();
    if (!qEnvironmentVariableIsEmpty("ORVANE_PRIVATE_PULSE")) {
        EXPECT_TRUE(heard) << "the private sound server is an output";
    }
    if (heard) {
        EXPECT_GE(clock.elapsed(), 280);
    }
    spinFor(100);
    EXPECT_EQ(codes.size(), 1u);
}

// The next file, named while one plays, is checked and queued behind it. The
// tests pause the playing file until it is queued, so the check never races
// the file's end; the player's answer to each completion is "Close".
class MpvHandoverTest : public MpvTimedControlTest {
protected:
    void SetUp() override
    {
        MpvTimedControlTest::SetUp();
        control.setDoneHandler([this](int code) {
            codes.push_back(code);
            control.setCommand("Close");
        });
        QObject::connect(&control, &MpvControl::playbackStarted, [this] { ++starts; });
    }

    // Plays path with next named to follow, queued before path can end.
    void playWithNext(const std::string& path, const std::string& next)
    {
        openAndPlay(path);
        control.setCommand("pause");
        control.setNextFileName(next);
        ASSERT_TRUE(spinUntil([&] { return control.nextFile() != MpvControl::NextFile::Checking; }));
        control.setCommand("pause");
    }

    // Opens and plays path; true when it was taken over where it already
    // sounded (a new load only announces its start from the event loop).
    bool takenOver(const std::string& path)
    {
        const int before = starts;
        openAndPlay(path);
        return starts > before;
    }

    int starts = 0;
};

// c is short: all its audio has gone out before it is opened, and it may even
// have been heard whole by then (a moment's delay of this thread is enough).
// Either way it is not loaded again and completes once, when it has been heard.
TEST_F(MpvHandoverTest, NextFileIsTakenOverAndEachFileCompletesOnce)
{
    const std::string a = tone("a.mp3", 0.4), b = tone("b.mp3", 0.8), c = tone("c.mp3", 0.2);
    QElapsedTimer clock;
    clock.start();
    playWithNext(a, b);
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::Queued);
    ASSERT_TRUE(waitForCompletions(1));
    // Not before a has been heard to its end: b is already sounding.
    EXPECT_GE(clock.elapsed(), 380);
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::Started);
    EXPECT_TRUE(takenOver(b));
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::None);

    control.setCommand("pause");
    control.setNextFileName(c);
    ASSERT_TRUE(spinUntil([&] { return control.nextFile() == MpvControl::NextFile::Queued; }));
    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(2));
    const int startsBefore = starts;
    const int takenOverNow = takenOver(c) ? 1 : 0;
    ASSERT_TRUE(waitForCompletions(3));
    spinFor(300);
    EXPECT_EQ(starts, startsBefore + takenOverNow) << "c was loaded again";
    EXPECT_EQ(codes, std::vector<int>(3, MMControl::NotifySuccessful));
    EXPECT_EQ(control.openedPaths(), (std::vector<std::string>{a, b, c}));
}

TEST_F(MpvHandoverTest, CloseAtTheHandoverDropsTheNextFile)
{
    const std::string a = tone("a.mp3", 0.3), b = tone("b.mp3", 0.6);

    // Closed while mpv has already gone on to b, before a's completion.
    playWithNext(a, b);
    sleepWithoutEvents(700);
    control.setCommand("Close");
    spinFor(800);
    EXPECT_TRUE(codes.empty());
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::None);
    EXPECT_FALSE(takenOver(b)); // b starts afresh
    ASSERT_TRUE(waitForCompletions(1));

    // Closed again right after the completion's own "Close" (Skip or Stop
    // before the next tick): b sounded, and is silenced.
    playWithNext(a, b);
    ASSERT_TRUE(waitForCompletions(2));
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::Started);
    control.setCommand("Close");
    QCoreApplication::processEvents(); // once the closing handler has returned
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::None);
    spinFor(800);
    EXPECT_EQ(codes.size(), 2u);
    EXPECT_FALSE(takenOver(b));
    ASSERT_TRUE(waitForCompletions(3));
    spinFor(200);
    EXPECT_EQ(codes, std::vector<int>(3, MMControl::NotifySuccessful));
    EXPECT_EQ(control.openedPaths(), (std::vector<std::string>{a, b, a, b}));
}

// Tree repeat answers the completion, then stops and makes a new start (its
// "Close", "Close" and open-mode flags) and opens the new pass's first file
// after the walk and a tick: the file already sounding for it plays on.
TEST_F(MpvHandoverTest, NextFileSoundsOnThroughStopAndNewStartUntilOpened)
{
    const std::string a = tone("a.mp3", 0.3), b = tone("b.mp3", 0.6), c = tone("c.mp3", 0.3);
    const auto stopAndStartAgain = [&] {
        control.setCommand("Close");
        control.setCommand("Close");
        control.setNotify(false);
        control.setWait(true);
        control.setShareable(false);
    };
    playWithNext(a, b);
    ASSERT_TRUE(waitForCompletions(1));
    stopAndStartAgain();
    spinFor(100);
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::Started);
    EXPECT_TRUE(takenOver(b));
    ASSERT_TRUE(waitForCompletions(2));

    // The new pass begins with another file: the one sounding goes.
    control.setCommand("Close");
    playWithNext(a, b);
    ASSERT_TRUE(waitForCompletions(3));
    stopAndStartAgain();
    EXPECT_FALSE(takenOver(c));
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::None);
    ASSERT_TRUE(waitForCompletions(4));

    // A Stop during the walk silences it at once.
    control.setCommand("Close");
    playWithNext(a, b);
    ASSERT_TRUE(waitForCompletions(5));
    stopAndStartAgain();
    control.setCommand("Close");
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::None);
    spinFor(300);
    EXPECT_EQ(codes, std::vector<int>(5, MMControl::NotifySuccessful));
    EXPECT_EQ(control.openedPaths(), (std::vector<std::string>{a, b, a, c, a}));
}

TEST_F(MpvHandoverTest, PauseAtTheHandoverHoldsItAndOpeningAnotherFileDropsIt)
{
    const std::string a = tone("a.mp3", 0.3), b = tone("b.mp3", 0.6), c = tone("c.mp3", 0.3);
    playWithNext(a, b);
    ASSERT_TRUE(spinUntil([&] { return control.nextFile() == MpvControl::NextFile::Started; }));
    control.setCommand("pause");
    const std::size_t atPause = codes.size(); // none, unless this thread was held up
    spinFor(700);
    EXPECT_EQ(codes.size(), atPause);
    control.setCommand("pause");
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::Started);

    // The sequence opens another file than the one named: b goes.
    EXPECT_FALSE(takenOver(c));
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::None);
    ASSERT_TRUE(waitForCompletions(2));
    spinFor(300);
    EXPECT_EQ(codes.size(), 2u);
    EXPECT_EQ(control.openedPaths(), (std::vector<std::string>{a, c}));
}

// A next file that will not play is never queued, so the file before it is
// heard to its end. One that breaks after its check (replaced, emptied or
// deleted before mpv gets to it) must not cost the end of the file before:
// that file completes once, after all of it has played, and the broken one
// then fails when it is opened.
TEST_F(MpvHandoverTest, NextFileThatFailsDoesNotEndThePreviousEarly)
{
    const std::string a = tone("a.mp3", 0.4);
    const std::string text = dir.file("text.mp3");
    writeBytes(text, "This is a letter, not a song.\n");

    QElapsedTimer clock;
    clock.start();
    playWithNext(a, text);
    EXPECT_EQ(control.nextFile(), MpvControl::NextFile::None);
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_GE(clock.elapsed(), 380);
    openAndPlay(text);
    ASSERT_TRUE(waitForCompletions(2));
    EXPECT_EQ(codes.back(), MMControl::NotifyFailure);

    const std::string longer = tone("longer.mp3", 1.0); // b breaks long before mpv gets to it
    for (const char* breakage : {"replaced", "emptied", "deleted"}) {
        SCOPED_TRACE(breakage);
        const std::string b = tone(std::string(breakage) + ".mp3", 0.4);
        codes.clear();
        playWithNext(longer, b);
        clock.restart(); // the check is over and longer plays from about its start
        const double playedAtStart = std::max(0.0, control.position());
        ASSERT_EQ(control.nextFile(), MpvControl::NextFile::Queued);
        if (breakage == std::string("deleted"))
            std::filesystem::remove(b);
        else
            writeBytes(b, breakage == std::string("emptied") ? "" : "replaced after its check\n");
        ASSERT_TRUE(waitForCompletions(1));
        EXPECT_GE(clock.elapsed(), std::lround((1.0 - playedAtStart) * 1000) - 30);
        openAndPlay(b);
        ASSERT_TRUE(waitForCompletions(2));
        spinFor(100);
        EXPECT_EQ(codes, (std::vector<int>{MMControl::NotifySuccessful, MMControl::NotifyFailure}));
    }
}

// mpv opens the queued file ahead and keeps what it opened for a later load
// of the same name. A next file dropped (another was named), changed on disk
// and named again is heard as it is now, not as mpv opened it ahead for its
// turn before: b is longer now than when it was first queued.
TEST_F(MpvHandoverTest, NextFileNamedAgainAfterItChangedIsOpenedAfresh)
{
    const std::string a = tone("a.mp3", 2.0), b = tone("b.mp3", 0.4), c = tone("c.mp3", 0.4);
    playWithNext(a, b);
    ASSERT_EQ(control.nextFile(), MpvControl::NextFile::Queued);
    spinFor(200); // mpv opens it while a plays
    control.setNextFileName(c);
    ASSERT_TRUE(spinUntil([&] { return control.nextFile() != MpvControl::NextFile::Checking; }));
    writeSineMp3(b, 1.2);
    control.setNextFileName(b);
    ASSERT_TRUE(spinUntil([&] { return control.nextFile() != MpvControl::NextFile::Checking; }));
    ASSERT_EQ(control.nextFile(), MpvControl::NextFile::Queued);
    ASSERT_TRUE(waitForCompletions(1, 5000));
    EXPECT_TRUE(takenOver(b));
    EXPECT_NEAR(static_cast<double>(control.nowPlaying().lengthUs) / 1e6, 1.2, 0.1);
    ASSERT_TRUE(waitForCompletions(2, 5000));
    EXPECT_EQ(codes, std::vector<int>(2, MMControl::NotifySuccessful));
}

// A next file not yet seen to play is queued while it is tried, so that mpv
// opens it ahead from the start, where the playing file leaves the time: it
// is paused, or has well over a second left. Where it has less, the file
// waits for its trial.
TEST_F(MpvHandoverTest, NextFileIsQueuedDuringItsTrialOnlyWhereThereIsTime)
{
    struct Case {
        double seconds;
        bool paused;
        bool queuedAtOnce;
    };
    int round = 0;
    for (const Case c : {Case{2.0, true, true}, Case{2.5, false, true}, Case{0.6, false, false}}) {
        SCOPED_TRACE(::testing::Message() << c.seconds << " s, paused " << c.paused);
        const std::string b = tone("b" + std::to_string(++round) + ".mp3", 0.3); // never tried before
        openAndPlay(tone("a.mp3", c.seconds));
        // mpv plays it, and knows its length
        ASSERT_TRUE(spinUntil([&] { return control.position() > 0.05 && control.nowPlaying().lengthUs > 0; }));
        if (c.paused)
            control.setCommand("pause");
        control.setNextFileName(b);
        ASSERT_EQ(control.nextFile(), MpvControl::NextFile::Checking);
        EXPECT_EQ(control.nextFileQueued(), c.queuedAtOnce);
        control.setCommand("Close");
        EXPECT_FALSE(control.nextFileQueued());
    }
    EXPECT_TRUE(codes.empty());
}

// Through a real sound server, when there is one to use (the sound-server run
// of the suite starts a private one): the default output finds it, and a file
// follows the one before it there as on the null outputs.
TEST(MpvSoundServerTest, DefaultOutputPlaysThroughTheServerAndHandsOver)
{
    if (qEnvironmentVariableIsEmpty("ORVANE_PRIVATE_PULSE"))
        GTEST_SKIP() << "no private sound server (scripts/pulse_session.sh starts one)";
    MpvTempDir dir;
    const std::string a = dir.file("a.mp3"), b = dir.file("b.mp3");
    writeSineMp3(a, 0.6);
    writeSineMp3(b, 0.6);
    MpvControl control(MpvControl::Output::Default);
    ASSERT_TRUE(control.isReady());
    std::vector<int> codes;
    control.setDoneHandler([&](int code) {
        codes.push_back(code);
        control.setCommand("Close");
    });
    int starts = 0;
    QObject::connect(&control, &MpvControl::playbackStarted, [&] { ++starts; });

    QElapsedTimer clock;
    clock.start();
    control.setFileName(a);
    control.setCommand("Open");
    control.setCommand("Play");
    control.setCommand("pause");
    control.setNextFileName(b);
    ASSERT_TRUE(spinUntil([&] { return control.nextFile() != MpvControl::NextFile::Checking; }));
    ASSERT_EQ(control.nextFile(), MpvControl::NextFile::Queued);
    control.setCommand("pause");
    ASSERT_TRUE(spinUntil([&] { return starts > 0; }));

    QProcess pactl;
    pactl.start("pactl", {"list", "sink-inputs"});
    ASSERT_TRUE(pactl.waitForFinished(10000));
    EXPECT_NE(pactl.readAllStandardOutput().indexOf("application.name = \"Orvane\""), -1);

    ASSERT_TRUE(spinUntil([&] { return !codes.empty(); }));
    EXPECT_GE(clock.elapsed(), 580);
    const int before = starts;
    control.setFileName(b);
    control.setCommand("Open");
    control.setCommand("Play");
    EXPECT_GT(starts, before); // taken over where it already sounded
    ASSERT_TRUE(spinUntil([&] { return codes.size() >= 2; }));
    spinFor(200);
    EXPECT_EQ(codes, std::vector<int>(2, MMControl::NotifySuccessful));
}

// With no sound output to be had (no PipeWire or PulseAudio server, no ALSA
// device, nothing for SDL), the default output falls back to mpv's null
// output, where the music would run on unheard: the file fails at once for
// want of a device, each time it is played, rather than being passed over as
// heard.
TEST(MpvNoDeviceTest, DefaultOutputWithoutASoundServerFailsForWantOfADevice)
{
    MpvTempDir dir;
    const std::string a = dir.file("a.mp3");
    writeSineMp3(a, 2.0);
    writeBytes(dir.file("asound.conf"), "");
    const std::vector<std::pair<const char*, QByteArray>> nowhere{
        {"PULSE_SERVER", QByteArray("unix:") + dir.file("no-server").c_str()},
        {"PIPEWIRE_REMOTE", QByteArray(dir.file("no-pipewire").c_str())},
        {"ALSA_CONFIG_PATH", QByteArray(dir.file("asound.conf").c_str())},
        {"JACK_NO_START_SERVER", "1"},
        {"SDL_AUDIODRIVER", "none"}};
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    for (const auto& [name, value] : nowhere) {
        saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        qputenv(name, value);
    }
    {
        MpvControl control(MpvControl::Output::Default);
        ASSERT_TRUE(control.isReady());
        std::vector<int> codes;
        control.setDoneHandler([&](int code) {
            codes.push_back(code);
            control.setCommand("Close");
        });
        QElapsedTimer clock;
        clock.start();
        for (std::size_t round = 1; round <= 2; ++round) {
            control.setFileName(a);
            control.setCommand("Open");
            control.setCommand("Play");
            ASSERT_TRUE(spinUntil([&] { return codes.size() >= round; }));
        }
        EXPECT_LT(clock.elapsed(), 1900) << "not played into nothing";
        spinFor(200);
        EXPECT_EQ(codes, std::vector<int>(2, MMControl::NotifyNoDevice));
        EXPECT_LT(control.position(), 0.0);
    }
    for (const auto& [name, value] : saved) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
}

} // namespace
} // namespace orvane
