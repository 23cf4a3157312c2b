// The folder walk on a large tree against `find ROOT -type d`, timed in the
// same run on the same warm cache. Usage: walk_bench [ROOT] [RUNS]
#include "bench_support.h"
#include "player/player.h"

#include <cstdio>
#include <cstdlib>

using namespace orvane;
using namespace orvane::bench;

namespace {

constexpr int TopFolders = 100;
constexpr int SubFoldersEach = 199; // 100 + 100 * 199 = 20,000 folders below the root
constexpr int FilesPerFolder = 5;   // 100,000 files

// Artist / album shaped: every folder holds four tracks and a cover.
void generateTree(const std::string& root)
{
    std::printf("generating %s ...\n", root.c_str());
    std::fflush(stdout);
    makeFolder(root);
    auto fill = [](const std::string& folder) {
        for (int f = 1; f < FilesPerFolder; ++f)
            makeEmptyFile(folder + "/Track " + std::to_string(f) + ".mp3");
        makeEmptyFile(folder + "/cover.jpg");
    };
    for (int a = 0; a < TopFolders; ++a) {
        const std::string artist = root + "/Artist " + std::to_string(a);
        makeFolder(artist);
        fill(artist);
        for (int b = 0; b < SubFoldersEach; ++b) {
            const std::string album = artist + "/Album " + std::to_string(b);
            makeFolder(album);
            fill(album);
        }
    }
    markComplete(root);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string root = argc > 1 && *argv[1] ? argv[1] : "/tmp/orvane-bench-walk-tree";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    if (!isComplete(root))
        generateTree(root);

    auto fs = makeNativeFileSystem();
    NullMMControl mm;
    CountingUi ui;
    Player player(mm, *fs, ui);
    player.controls().setText1(root + "/");

    commandSeconds({"find", root, "-type", "d"}); // warm the cache for both
    std::vector<double> walk, find;
    for (int i = 0; i < runs; ++i) {
        find.push_back(commandSeconds({"find", root, "-type", "d"}));
        player.List1.Clear();
        ui.yields = 0;
        walk.push_back(secondsOf([&] { player.WalkFolders(); }));
    }

    std::printf("tree %s: %lld folders in List1, %ld yields per walk, %d runs (medians)\n",
                root.c_str(), static_cast<long long>(player.List1.ListCount()), ui.yields, runs);
    printRatio("WalkFolders vs find -type d", median(walk), median(find), 2.0);
    return 0;
}
