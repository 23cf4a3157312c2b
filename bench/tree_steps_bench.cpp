// What a change of folder and a Stop cost on a large tree against a small
// one, in the same run, on the real file system: the play path played with
// Subdirectories and Repeat All on, its walk complete (as a few seconds after
// Play), then the sequence moved from folder to folder, each folder's file
// ending at once, and the changes timed half-way through the round (where a
// search through the round from its start would show); in path order, and
// with Shuffle Folders (whose round is ordered as the walk completes, for the
// look-ahead: the walk is timed too). The file system answers as in the
// programs, later (each change's own reads answered within it, on this
// thread), so that the look-ahead runs as it does there. Last, a new player
// plays on from the place reached: Play to that place's file opened. The
// heap the player holds once the walk is complete is told too (glibc's
// count of bytes allocated), which leaves out the media control's.
// Usage: tree_steps_bench SMALL_ROOT LARGE_ROOT [CHANGES] (trees with a file
// in each folder, as bench/tree_memory_bench.sh makes them).
#include "bench_support.h"
#include "platform/file_service.h"
#include "player/player.h"

#include <malloc.h>

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
        while (!out_.empty())
            answerOut();
    }
    // The calls out now, not those their answers make the player ask.
    void answerOut()
    {
        std::vector<FileAnswer> answers;
        for (const FileCall& call : std::exchange(out_, {}))
            answers.push_back(answerCall(fs_, call));
        deliver(std::move(answers));
    }

private:
    void ask(const FileCall& call) override { out_.push_back(call); }
    FileSystem& fs_;
    std::vector<FileCall> out_;
};

class KeptPlace final : public PlaceStore {
public:
    std::string load() override { return text; }
    void save(const std::string& t) override { text = t; }
    void forget() override { text.clear(); }
    std::string text;
};

struct Steps {
    long long folders = 0;
    double change = 0; // median seconds from a file's end to the next folder's file opened
    double walk = 0; // from Play to the walk complete, the round ordered
    double stop = 0;
    double playOn = 0; // a new player's Play to the place's file opened
    long long heap = 0; // bytes the heap holds for the player once the walk is complete
};

long long heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long long>(m.uordblks + m.hblkhd); // and the large blocks mapped apart
}

// The play path with Subdirectories and Repeat All, name order, shuffled or not.
void choose(Player& player, const std::string& root, bool shuffled, std::uint64_t seed)
{
    ControlModel& c = player.controls();
    c.setText1(root);
    c.setCkSub(1);
    c.setCkRepeat(1);
    c.setOptName(true);
    c.setShuffle(shuffled);
    player.drawSeed = [seed] { return seed; };
}

// Play on a new player that plays on from the place; the seconds until the
// place's file is opened, a tick after each answer, as a tick asked for
// comes between two of the worker's answers in the programs.
double playOnFrom(const Place& place, const std::string& root, bool shuffled)
{
    auto fs = makeNativeFileSystem();
    AnsweredLater files(*fs);
    NullMMControl mm;
    CountingUi ui;
    KeptPlace store;
    store.text = placeText(place);
    Player player(mm, files, ui);
    player.place().keepIn(&store);
    choose(player, root, shuffled, 7);
    return secondsOf([&] {
        player.cmdPlay_Click();
        while (player.playing().empty() && (player.PlayOn == 1 || player.startWaits())) {
            files.answerOut();
            player.Timer1_Timer();
        }
    });
}

Steps measure(const std::string& root, int changes, bool shuffled = false)
{
    const long long heapBefore = heapInUse();
    auto fs = makeNativeFileSystem();
    AnsweredLater files(*fs);
    NullMMControl mm;
    CountingUi ui;
    KeptPlace store;
    Player player(mm, files, ui);
    player.place().keepIn(&store);
    choose(player, root, shuffled, 42);
    const double walk = secondsOf([&] {
        player.cmdPlay_Click();
        player.Timer1_Timer(); // the first folder's file
        files.answerAll();     // the whole walk
    });
    const long long heap = heapInUse() - heapBefore;
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
    steps.heap = heap;
    const Place reached = *player.place().stored();
    steps.stop = secondsOf([&] { player.cmdStop_Click(); });
    steps.playOn = playOnFrom(reached, root, shuffled);
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
        std::printf("%s: the player's heap then: %lld bytes, %lld bytes (%.0f bytes a folder from the small "
                    "tree to the large)\n",
                    how, small.heap, large.heap,
                    static_cast<double>(large.heap - small.heap) / static_cast<double>(large.folders - small.folders));
        std::printf("%s: Stop: %.3f ms on %lld folders, %.3f ms on %lld folders (goal <= 100 ms)\n", how,
                    small.stop * 1e3, small.folders, large.stop * 1e3, large.folders);
        std::printf("%s: Play on from a place half-way through the round: %.1f ms, %.1f ms\n", how,
                    small.playOn * 1e3, large.playOn * 1e3);
    }
    return 0;
}
