// What a change of folder and a Stop cost on a large tree against a small
// one, in the same run, on the real file system: the play path played with
// Subdirectories and Repeat All on, its walk complete (as a few seconds after
// Play), then the sequence moved from folder to folder, each folder's file
// ending at once. Usage: tree_steps_bench SMALL_ROOT LARGE_ROOT [CHANGES]
// (trees with a file in each folder, as bench/tree_memory_bench.sh makes them).
#include "bench_support.h"
#include "player/player.h"

#include <cstdio>
#include <cstdlib>

using namespace orvane;
using namespace orvane::bench;

namespace {

struct Steps {
    long long folders = 0;
    double change = 0; // median seconds from a file's end to the next folder's file opened
    double stop = 0;
};

Steps measure(const std::string& root, int changes)
{
    auto fs = makeNativeFileSystem();
    NullMMControl mm;
    CountingUi ui;
    Player player(mm, *fs, ui);
    ControlModel& c = player.controls();
    c.setText1(root);
    c.setCkSub(1);
    c.setCkRepeat(1);
    c.setOptName(true);
    player.cmdPlay_Click(); // the walk, whole, on a file system that answers at once
    player.Timer1_Timer();  // the play path's own file
    std::vector<double> times;
    for (int i = 0; i < changes; ++i) {
        times.push_back(secondsOf([&] {
            player.MMControl1_Done(MMControl::NotifySuccessful);
            player.Timer1_Timer(); // the folder has ended
            player.Timer1_Timer(); // the next one's file opens
        }));
    }
    Steps steps;
    steps.folders = player.List1.ListCount();
    steps.change = median(times);
    steps.stop = secondsOf([&] { player.cmdStop_Click(); });
    return steps;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: tree_steps_bench SMALL_ROOT LARGE_ROOT [CHANGES]\n");
        return 2;
    }
    const int changes = argc > 3 ? std::atoi(argv[3]) : 300;
    measure(argv[1], 20); // the cache warm for both
    const Steps small = measure(argv[1], changes);
    const Steps large = measure(argv[2], changes);
    std::printf("change of folder: %.3f ms on %lld folders, %.3f ms on %lld folders (ratio %.2f, goal <= 1.5)\n",
                small.change * 1e3, small.folders, large.change * 1e3, large.folders, large.change / small.change);
    std::printf("Stop: %.3f ms on %lld folders, %.3f ms on %lld folders (goal <= 100 ms)\n", small.stop * 1e3,
                small.folders, large.stop * 1e3, large.folders);
    return 0;
}
