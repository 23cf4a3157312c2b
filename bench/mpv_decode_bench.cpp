// Decoding cost of the libmpv media control against the mpv command line on
// the same files in the same run, both on the untimed null output:
//   mpv --no-config --no-terminal --vid=no --ao=null --ao-null-untimed FILES...
// Reported per second of audio, once as measured (the command line pays its
// process start) and once with the command line's start-up cost taken off
// (a run on a 50 ms file), which is the fair figure for long play. Also the
// time from "Open" to the first audio going out, on the untimed and the
// real-time null output.
//   build/bench/mpv_decode_bench [SECONDS_PER_FILE] [FILES] [RUNS]
#include "bench_support.h"
#include "qt/mpv_control.h"
#include "qt/mpv_fixtures.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using orvane::MpvControl;
using orvane::bench::commandSeconds;
using orvane::bench::median;
using orvane::bench::printRatio;
using orvane::bench::secondsOf;

// Runs the event loop until the control's completion (or a long time-out).
void playToEnd(MpvControl& control, const std::string& path)
{
    QEventLoop loop;
    control.setDoneHandler([&](int) { loop.quit(); });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    control.setFileName(path);
    control.setCommand("Open");
    control.setCommand("Play");
    loop.exec();
    control.setCommand("Close");
}

// Seconds from "Open" to the first audio of the file.
double openToFirstAudio(MpvControl& control, const std::string& path)
{
    QEventLoop loop;
    auto started = QObject::connect(&control, &MpvControl::playbackStarted, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    const double seconds = secondsOf([&] {
        control.setFileName(path);
        control.setCommand("Open");
        control.setCommand("Play");
        loop.exec();
    });
    QObject::disconnect(started);
    control.setCommand("Close");
    return seconds;
}

std::vector<std::string> mpvCommand(const std::vector<std::string>& files)
{
    std::vector<std::string> args = {"mpv", "--no-config", "--no-terminal", "--vid=no", "--ao=null", "--ao-null-untimed"};
    args.insert(args.end(), files.begin(), files.end());
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const double fileSeconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const int fileCount = argc > 2 ? std::atoi(argv[2]) : 5;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;

    orvane::testing::MpvTempDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < fileCount; ++i) {
        files.push_back(dir.file("song" + std::to_string(i) + ".mp3"));
        orvane::testing::writeSineMp3(files.back(), fileSeconds);
    }
    const std::string tiny = dir.file("tiny.mp3");
    orvane::testing::writeSineMp3(tiny, 0.05);
    const double audioSeconds = fileSeconds * fileCount;

    MpvControl control(MpvControl::Output::NullUntimed);
    if (!control.isReady()) {
        std::fprintf(stderr, "libmpv did not start\n");
        return 1;
    }
    playToEnd(control, files.front()); // warm the caches for both sides
    commandSeconds(mpvCommand({files.front()}));

    std::vector<double> adapter, command, startUp;
    for (int run = 0; run < runs; ++run) {
        adapter.push_back(secondsOf([&] {
            for (const auto& file : files)
                playToEnd(control, file);
        }));
        command.push_back(commandSeconds(mpvCommand(files)));
        startUp.push_back(commandSeconds(mpvCommand({tiny})));
    }
    const double perAudioSecond = median(adapter) / audioSeconds;
    const double commandPerAudioSecond = median(command) / audioSeconds;
    const double commandMarginal = (median(command) - median(startUp)) / audioSeconds;

    std::printf("%d files x %.0f s of audio, median of %d runs\n", fileCount, fileSeconds, runs);
    std::printf("control decodes at %.0fx real time, mpv command line at %.0fx (%.0fx without its start-up)\n",
                1.0 / perAudioSecond, 1.0 / commandPerAudioSecond, 1.0 / commandMarginal);
    printRatio("cost per audio second vs mpv command line", perAudioSecond, commandPerAudioSecond, 1.1);
    printRatio("same, command line start-up taken off", perAudioSecond, commandMarginal, 1.1);

    MpvControl timed(MpvControl::Output::NullTimed);
    std::vector<double> untimedLatency, timedLatency;
    for (int i = 0; i < 20; ++i) {
        untimedLatency.push_back(openToFirstAudio(control, files[static_cast<size_t>(i % fileCount)]));
        timedLatency.push_back(openToFirstAudio(timed, files[static_cast<size_t>(i % fileCount)]));
    }
    std::printf("\"Open\" to first audio, median of 20: untimed null output %.2f ms, real-time null output %.2f ms\n",
                median(untimedLatency) * 1e3, median(timedLatency) * 1e3);
    std::printf("(a whole mpv command line run on a 50 ms file takes %.2f ms)\n", median(startUp) * 1e3);
    return 0;
}
