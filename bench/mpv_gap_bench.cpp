// The silence between one file's end and the next file's first audio, with
// the real-time null output and the real timer: 40 short files over several
// folders, Subdirectories on. The silence after file k is measured as
//   start(k + 1) - (start(k) + length of file k),
// from the moments each file's first audio went out (for a file that follows
// without a gap, the moment the player takes it over). Also reported: the
// time from the completion event to the tick that opens the next file
// (waiting for the tick), and from that tick to the next file's first audio.
// bench/gap_bench.sh measures what is heard through a real sound server.
//   build/bench/mpv_gap_bench [FILES]
#include "qt/mpv_control.h"
#include "qt/qt_ui_host.h"
#include "player/player.h"
#include "qt/mpv_fixtures.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Passes everything to the real control and notes when each file is started
// and when each completion arrives.
class TimedControl : public orvane::MMControl {
public:
    explicit TimedControl(orvane::MpvControl& real) : real_(real)
    {
        real_.setDoneHandler([this](int code) {
            done.push_back(Clock::now());
            raiseDone(code);
        });
    }
    void setCommand(const std::string& command) override
    {
        if (command == "Play")
            plays.push_back(Clock::now());
        real_.setCommand(command);
    }
    void setFileName(const std::string& path) override { real_.setFileName(path); }
    void setNotify(bool on) override { real_.setNotify(on); }
    void setWait(bool on) override { real_.setWait(on); }
    void setShareable(bool on) override { real_.setShareable(on); }
    void setNextFileName(const std::string& path) override { real_.setNextFileName(path); }

    std::vector<Clock::time_point> plays;
    std::vector<Clock::time_point> done;

private:
    orvane::MpvControl& real_;
};

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int fileCount = argc > 1 ? std::max(4, std::atoi(argv[1])) : 40;
    // Lengths that are no multiple of the tick, so each end falls at another
    // moment between two ticks.
    auto fileSeconds = [](int i) { return 0.6 + 0.037 * (i % 10); };

    orvane::testing::MpvTempDir dir;
    for (int i = 0; i < fileCount; ++i) {
        const std::string folder = dir.path() + "/folder" + std::to_string(i / 10);
        std::filesystem::create_directories(folder);
        char name[32];
        std::snprintf(name, sizeof name, "/track%02d.mp3", i);
        orvane::testing::writeSineMp3(folder + name, fileSeconds(i));
    }

    orvane::MpvControl mpv(orvane::MpvControl::Output::NullTimed);
    TimedControl control(mpv);
    std::vector<Clock::time_point> starts;
    QObject::connect(&mpv, &orvane::MpvControl::playbackStarted, [&] { starts.push_back(Clock::now()); });

    auto fs = orvane::makeNativeFileSystem();
    orvane::QtUiHost ui(nullptr);
    orvane::Player player(control, *fs, ui);
    auto& c = player.controls();
    c.setText1(dir.path());
    c.setCkSub(1);
    c.setOptName(true);

    // The window's timer: ticks every 250 ms while Timer1 is on; the tick in
    // which a file is opened is remembered as that file's tick.
    std::vector<Clock::time_point> openingTicks;
    QTimer timer;
    timer.setInterval(orvane::Timer1IntervalMs);
    const auto tick = [&] {
        const auto before = control.plays.size();
        const auto tickStart = Clock::now();
        player.Timer1_Timer();
        if (control.plays.size() > before)
            openingTicks.push_back(tickStart);
        if (!c.enabled(orvane::Ctl::Timer1))
            app.quit();
    };
    QObject::connect(&timer, &QTimer::timeout, tick);
    // Ticks the player asks for between two of the timer's, as the window runs them.
    ui.setTickHandler([&] {
        if (timer.isActive())
            tick();
    });
    player.cmdPlay_Click();
    timer.start();
    QTimer::singleShot(fileCount * 2000, &app, &QApplication::quit);
    app.exec();

    std::vector<double> gaps, waits, afterTick;
    for (std::size_t k = 0; k + 1 < starts.size() && k < control.done.size() && k + 1 < openingTicks.size(); ++k) {
        gaps.push_back(std::max(0.0, ms(starts[k + 1] - starts[k]) - fileSeconds(static_cast<int>(k)) * 1000.0));
        waits.push_back(ms(openingTicks[k + 1] - control.done[k]));
        afterTick.push_back(ms(starts[k + 1] - openingTicks[k + 1]));
    }
    if (gaps.empty()) {
        std::printf("no gaps measured (files started: %zu)\n", starts.size());
        return 1;
    }
    std::printf("files played: %zu of %d, gaps measured: %zu\n", starts.size(), fileCount, gaps.size());
    std::printf("silence between files: median %.1f ms, max %.1f ms (tick interval %d ms)\n", median(gaps),
                *std::max_element(gaps.begin(), gaps.end()), orvane::Timer1IntervalMs);
    std::printf("completion to the opening tick: median %.1f ms, max %.1f ms\n", median(waits),
                *std::max_element(waits.begin(), waits.end()));
    // Includes playing out what mpv still held of the previous file.
    std::printf("opening tick to first audio: median %.1f ms\n", median(afterTick));
    return 0;
}
