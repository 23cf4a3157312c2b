// A folder's play list in date order against `find DIR -maxdepth 1 -name
// '*.mp3' -printf '%B@\n'` (list and read every birth time), and SortArray on
// the largest table a folder can give. Usage: build_bench [DIR] [RUNS]
#include "bench_support.h"
#include "player/player.h"

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>

using namespace orvane;
using namespace orvane::bench;

namespace {

constexpr int FolderFiles = 10000;
constexpr int SortRecords = 32767;

// Files created in a shuffled order, so that date order differs from name
// order as it does after a copy.
void generateFolder(const std::string& dir)
{
    std::printf("generating %s ...\n", dir.c_str());
    std::fflush(stdout);
    makeFolder(dir);
    std::vector<int> order(FolderFiles);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    for (int n : order)
        makeEmptyFile(dir + "/" + std::to_string(n % 97) + " Song " + std::to_string(n) + ".mp3");
    markComplete(dir);
}

// Random dates over ten years at one-second steps, with many equal dates.
std::vector<PlayListEntry> randomRecords()
{
    std::mt19937_64 random(7);
    std::uniform_int_distribution<long> seconds(1'300'000'000, 1'615'000'000);
    std::vector<PlayListEntry> records(SortRecords);
    for (int i = 0; i < SortRecords; ++i) {
        const long s = i % 4 == 0 ? 1'500'000'000 : seconds(random);
        records[static_cast<std::size_t>(i)] = {"/music/Track " + std::to_string(i) + ".mp3",
                                                DateTime(std::chrono::seconds(s))};
    }
    return records;
}

void benchBuild(const std::string& dir, int runs)
{
    auto fs = makeNativeFileSystem();
    NullMMControl mm;
    CountingUi ui;
    Player player(mm, *fs, ui);
    player.controls().setOptDate(true);
    player.controls().setOptName(false);

    const std::vector<std::string> findArgs{"find", dir, "-maxdepth", "1", "-name", "*.mp3", "-printf", "%B@\n"};
    commandSeconds(findArgs); // warm the cache for all
    std::vector<double> find, listAndBuild, buildOnly, sortOnly;
    for (int i = 0; i < runs; ++i) {
        find.push_back(commandSeconds(findArgs));
        player.List2.clear();
        listAndBuild.push_back(secondsOf([&] {
            player.File1.setPath(dir);
            player.BuildPlayList();
        }));
        player.List2.clear();
        buildOnly.push_back(secondsOf([&] { player.BuildPlayList(); }));

        player.controls().setOptDate(false); // the same table in name order, to time its sort alone
        player.BuildPlayList();
        player.controls().setOptDate(true);
        sortOnly.push_back(secondsOf([&] { SortArray(*player.PlayList, 1); }));
    }

    std::printf("folder %s: %lld files in File1, %zu records, %d runs (medians)\n", dir.c_str(),
                static_cast<long long>(player.File1.ListCount()), player.PlayList->size(), runs);
    printRatio("File1.setPath + BuildPlayList (date) vs find", median(listAndBuild), median(find), 1.5);
    printRatio("BuildPlayList (date) vs find", median(buildOnly), median(find), 1.5);
    std::printf("%-44s %9.2f ms  (%.0f%% of the build)\n", "  of which SortArray", median(sortOnly) * 1e3,
                100 * median(sortOnly) / median(buildOnly));
}

void benchSort(int runs)
{
    const std::vector<PlayListEntry> input = randomRecords();
    std::vector<double> sortArray, stdSort;
    for (int i = 0; i < runs; ++i) {
        std::vector<PlayListEntry> records = input;
        sortArray.push_back(secondsOf([&] { SortArray(records, 1); }));
        records = input;
        stdSort.push_back(secondsOf([&] {
            std::stable_sort(records.begin(), records.end(),
                             [](const auto& a, const auto& b) { return a.created < b.created; });
        }));
    }
    const double t = median(sortArray);
    std::printf("SortArray, %d records (random dates, ties): %9.2f ms, %.0f ns per record; "
                "std::stable_sort %7.2f ms (x%.1f)\n",
                SortRecords, t * 1e3, t * 1e9 / SortRecords, median(stdSort) * 1e3, t / median(stdSort));
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 && *argv[1] ? argv[1] : "/tmp/orvane-bench-build-folder";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    if (!isComplete(dir))
        generateFolder(dir);
    benchBuild(dir, runs);
    benchSort(std::max(1, runs / 2));
    return 0;
}
