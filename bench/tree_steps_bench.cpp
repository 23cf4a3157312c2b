// What a change of folder and a Stop cost on a large tree against a small
// one, in the same run, on the real file system: the play path played with
// Subdirectories and Repeat All on, its walk complete (as a few seconds after
// Play), then the sequence moved from folder to folder, each folder's file
// ending at once, and the changes timed half-way through the round (where a
// search through the round from its start would show); in path order, and with Shuffle Folders (whose round is
// ordered as the walk completes, for the look-ahead: the walk is timed too). The file system answers as in the programs,
// later (each change's own reads answered within it, on this thread), so
// that the look-ahead runs as it does there. Usage:
// tree_steps_bench SMALL_ROOT LARGE_ROOT [CHANGES] (trees with a file in each
// folder, as bench/tree_memory_bench.sh makes them).
#include "bench_support.h"
#include "platform/file_service.h"
#include "player/player.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

using namespace orvane;
using namespace orvane::bench;

namespace {

// Answers every call asked, and those the answers make the player ask, until
// none is left: what the programs' worker does while the window waits.
class AnsweredLater final : public DeferredFileService {
public:
    explicit AnsweredLater(FileSystem& fs) : DeferredFileService(fs.separator()), fs_(fs) {}
    void answerAll()
    {
        while (!out_.empty()) {
            std::vector<FileAnswer> answers;
            for (const FileCall& call : std::exchange(out_, {}))
                answers.push_back(answerCall(fs_, call));
            deliver(std::move(answers));
        }
    }

private:
    void ask(const FileCall& call) override { out_.push_back(call); }
    FileSystem& fs_;
    std::vector<FileCall> out_;
};

struct Steps {
    long long folders = 0;
    double change = 0; // median seconds from a file's end to the next folder's file opened
    double walk = 0; // from Play to the walk complete, the round ordered
    double stop = 0;
};

Steps measure(const std::string& root, int changes, bool shuffled = false)
{
    auto fs = makeNativeFileSystem();
    AnsweredLater files(*fs);
    NullMMControl mm;
    CountingUi ui;
    Player player(mm, files, ui);
    ControlModel& c = player.controls();
    c.setText1(root);
    c.setCkSub(1);
    c.setCkRepeat(1);
    c.setOptName(true);
    c.setShuffle(shuffled);
    player.drawSeed = [] { return 42; };
    const double walk = secondsOf([&] {
        player.cmdPlay_Click();
        player.Timer1_Timer(); // the first folder's file
        files.answerAll();     // the whole walk
    });
    const auto change = [&] {
        player.MMControl1_Done(MMControl::NotifySuccessful);
        player.Timer1_Timer(); // the folder has ended
        player.Timer1_Timer(); // the next one's file opens
        files.answerAll();
    };
    for (std::int64_t i = 0; i < player.List1.ListCount() / 2; ++i)
        change();
    std::vector<double> times;
    for (int i = 0; i < changes; ++i)
        times.push_back(secondsOf(change));
    Steps steps;
    steps.folders = player.List1.ListCount();
    steps.change = median(times);
    steps.walk = walk;
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
    for (const bool shuffled : {false, true}) {
        const Steps small = measure(argv[1], changes, shuffled);
        const Steps large = measure(argv[2], changes, shuffled);
        const char* how = shuffled ? "shuffled" : "in path order";
        std::printf("%s: change of folder: %.3f ms on %lld folders, %.3f ms on %lld folders (ratio %.2f, goal <= 1.5)\n",
                    how, small.change * 1e3, small.folders, large.change * 1e3, large.folders,
                    large.change / small.change);
        std::printf("%s: Play to the walk complete%s: %.1f ms, %.1f ms\n", how,
                    shuffled ? " and the round ordered" : "", small.walk * 1e3, large.walk * 1e3);
        std::printf("%s: Stop: %.3f ms on %lld folders, %.3f ms on %lld folders (goal <= 100 ms)\n", how,
                    small.stop * 1e3, small.folders, large.stop * 1e3, large.folders);
    }
    return 0;
}
