// The sleep heard through a real sound server (the sound-server run of the
// suite starts a private one): the music fades out, the player pauses and
// stays silent, and Play goes on from where the fade began.

#include "player/player.h"
#include "qt/mpv_control.h"
#include "player/player_fixture.h"
#include "qt/mpv_player_fixture.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orvane::test {
namespace {

using namespace orvane::testing;

// The real clock, moved on by hand past the sleep's minutes.
class ClockedUi : public RecordingQtUi {
public:
    std::chrono::steady_clock::time_point steadyNow() const override { return std::chrono::steady_clock::now() + ahead; }
    std::chrono::steady_clock::duration ahead{};
};

constexpr int Rate = 8000;

// What the server's monitor plays while `run` runs: the level (RMS) of each
// quarter of a second.
std::vector<double> levelsWhile(const std::function<void()>& run)
{
    QProcess parec;
    parec.start("parec", {"--device=" + qEnvironmentVariable("PULSE_MONITOR"), "--latency-msec=10", "--raw",
                          "--format=s16le", "--rate=" + QString::number(Rate), "--channels=1"});
    EXPECT_TRUE(parec.waitForStarted(5000));
    // The monitor sends samples (silence too) once the stream is up; a busy
    // machine takes seconds to get there, and what plays before is not heard.
    EXPECT_TRUE(parec.waitForReadyRead(20000)) << "the recording never began";
    run();
    parec.terminate();
    parec.waitForFinished(5000);
    const QByteArray bytes = parec.readAllStandardOutput();
    const auto* samples = reinterpret_cast<const std::int16_t*>(bytes.constData());
    const auto count = static_cast<std::size_t>(bytes.size()) / 2;
    std::vector<double> levels;
    for (std::size_t at = 0; at + Rate / 4 <= count; at += Rate / 4) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + Rate / 4; ++i)
            sum += double(samples[i]) * samples[i];
        levels.push_back(std::sqrt(sum / (Rate / 4)));
    }
    return levels;
}

// Ticks as the window's timer would, for ms.
void tickFor(Player& player, int ms)
{
    for (int gone = 0; gone < ms; gone += Timer1IntervalMs) {
        player.Timer1_Timer();
        spinFor(Timer1IntervalMs);
    }
}

TEST(SleepSoundServerTest, FadesOutPausesStaysSilentAndPlayGoesOnFromTheFadesStart)
{
    if (qEnvironmentVariableIsEmpty("ORVANE_PRIVATE_PULSE"))
        GTEST_SKIP() << "no private sound server (scripts/pulse_session.sh starts one)";
    TempTree tree;
    tree.makeFile("long.mp3", sineMp3(40.0));
    MpvControl mpv(MpvControl::Output::Default);
    ASSERT_TRUE(mpv.isReady());
    std::unique_ptr<FileSystem> fs = makeNativeFileSystem();
    ClockedUi ui;
    Player player(mpv, *fs, ui);
    setOptions(player.controls(), tree.path(""), 0, 0);

    double fadeFrom = -1.0;
    const std::vector<double> fade = levelsWhile([&] {
        spinFor(2000); // the server's first moments, before anything plays
        player.cmdPlay_Click();
        for (int i = 0; i < 40 && mpv.position() < 2.0; ++i)
            tickFor(player, Timer1IntervalMs);
        ASSERT_GE(mpv.position(), 2.0);
        player.chooseSleep(SleepTimer::Choice::Minutes15);
        ui.ahead = std::chrono::minutes(15);
        fadeFrom = mpv.position();
        tickFor(player, 11000); // the fade, and a moment of the pause after it
        ASSERT_TRUE(player.Paused);
        tickFor(player, 2000); // it stays silent
    });
    ASSERT_GT(fade.size(), 4u * 13) << "the tone, the fade and the pause after it";
    const double loud = *std::max_element(fade.begin(), fade.end());
    ASSERT_GT(loud, 1000.0) << "the tone is heard";
    // Heard: loud, then a fall through the levels between over seconds (a
    // cut would pass them in a quarter of a second), then silence.
    const auto between = std::count_if(fade.begin(), fade.end(), [&](double l) { return l > 0.05 * loud && l < 0.8 * loud; });
    EXPECT_GE(between, 16) << "a fade of a few seconds at least";
    for (std::size_t i = fade.size() - 6; i < fade.size(); ++i)
        EXPECT_LT(fade[i], 0.01 * loud) << "silent once paused, quarter " << i;

    const std::vector<double> after = levelsWhile([&] {
        player.cmdPlay_Click();
        tickFor(player, 1500);
        EXPECT_NEAR(mpv.position(), fadeFrom + 1.5, 2.0) << "from where the fade began";
    });
    EXPECT_GT(*std::max_element(after.begin(), after.end()), 0.8 * loud) << "at the full level again";
    player.cmdStop_Click();
}

} // namespace
} // namespace orvane::test
