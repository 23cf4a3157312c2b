#include "player_fixture.h"

#include <random>

namespace orvane::test {
namespace {

using Builder = PlayerFixture;
using Files = std::vector<std::string>;

TEST_F(Builder, RootLosesOneTrailingSeparatorButTheFileSystemRootStays)
{
    fs.addFolder("/m/A");
    fs.addFolder("/B");
    options("/m/", 1, 0);
    player.WalkFolders();
    EXPECT_EQ(player.List1.items(), (Files{"/m", "/m/A"}));

    player.List1.Clear();
    options("/", 1, 0);
    player.WalkFolders();
    EXPECT_EQ(player.List1.items(), (Files{"/", "/B", "/m", "/m/A"}));
}

TEST_F(Builder, FoldersSortCaseInsensitivelyWithParentsFirst)
{
    fs.addFolder("/r/b");
    fs.addFolder("/r/A/X");
    fs.addFolder("/r/a b");
    fs.addFolder("/r/B/c");
    options("/r", 1, 0);
    player.WalkFolders();
    const Files& got = player.List1.items();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got.front(), "/r");
    for (std::size_t i = 1; i < got.size(); ++i)
        EXPECT_TRUE(lessNoCase(got[i - 1], got[i])) << got[i - 1] << " / " << got[i];
    // Every folder comes after the folders that contain it.
    auto pos = [&](const std::string& p) { return std::find(got.begin(), got.end(), p) - got.begin(); };
    EXPECT_LT(pos("/r/A"), pos("/r/A/X"));
    EXPECT_LT(pos("/r/B"), pos("/r/B/c"));
    EXPECT_LT(pos("/r/A/X"), pos("/r/b"));
}

TEST_F(Builder, WalkYieldsOncePerFolderSkipsPageFileAndHiddenFolders)
{
    fs.addFolder("/r/one");
    fs.addFolder("/r/.hidden/inner");
    fs.addFolder("/r/pagefile.sys");
    fs.addFolder("/r/PageFile.Sys");
    fs.addFolder("/r/PAGEFILE.SYS");
    fs.addFile("/r/song.mp3");
    options("/r", 0, 0);
    player.WalkFolders();
    EXPECT_EQ(player.List1.items(), (Files{"/r", "/r/one"}));
    EXPECT_EQ(fs.listings, (Files{"/r", "/r/one"})); // nothing else was examined
    EXPECT_EQ(ui.yields, 3);                          // after the hourglass and after each folder
    EXPECT_FALSE(player.walkBusy());
}

TEST_F(Builder, UnreadableFolderContributesNothingAndTheWalkCompletes)
{
    fs.addFolder("/r/locked/inside");
    fs.addFolder("/r/open");
    fs.makeUnreadable("/r/locked");
    options("/r", 1, 0);
    player.WalkFolders();
    EXPECT_EQ(player.List1.items(), (Files{"/r", "/r/locked", "/r/open"}));

    player.List1.Clear();
    fs.makeUnreadable("/r");
    player.WalkFolders();
    EXPECT_EQ(player.List1.items(), (Files{"/r"})); // the root is always there
}

TEST_F(Builder, SecondWalkDuringAYieldEndsTheFirstAtItsNextFolder)
{
    for (const char* f : {"/r/a", "/r/b", "/r/c", "/r/d"})
        fs.addFolder(f);
    options("/r", 1, 0);
    ui.atYield(2, [&] { player.WalkFolders(); });
    player.WalkFolders();
    // The first walk listed the root, the second the whole tree; the first
    // then stopped instead of listing a to d again.
    EXPECT_EQ(fs.listings, (Files{"/r", "/r", "/r/a", "/r/b", "/r/c", "/r/d"}));
    EXPECT_FALSE(player.walkBusy());
    EXPECT_EQ(player.List1.items(), (Files{"/r", "/r/a", "/r/b", "/r/c", "/r/d"}));
    EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault);
}

TEST_F(Builder, ProbeSeesOnlyOrdinaryMp3FilesInAnyCase)
{
    fs.addFile("/r/.hidden.mp3");
    fs.addFile("/r/notes.txt");
    fs.addFolder("/r/folder.mp3");
    EXPECT_EQ(player.ProbeFolder("/r/*.mp3"), "");
    fs.addFile("/r/LOUD.MP3");
    EXPECT_EQ(player.ProbeFolder("/r/*.mp3"), "LOUD.MP3");
    EXPECT_THROW(player.ProbeFolder("/gone/*.mp3"), FileSystemError);
}

TEST_F(Builder, BuildJoinsWithOneSeparatorAndListsEachFileInList2)
{
    fs.addFile("/b.mp3", 2);
    fs.addFile("/a.mp3", 1);
    player.File1.setPath("/");
    player.BuildPlayList();
    ASSERT_TRUE(player.PlayList);
    ASSERT_EQ(player.PlayList->size(), 2u);
    EXPECT_EQ((*player.PlayList)[0].path, "/a.mp3");
    EXPECT_EQ((*player.PlayList)[1].path, "/b.mp3");
    EXPECT_EQ(player.List2, (Files{"/a.mp3     " + dateTimeText(DateTime{} + std::chrono::hours(24)),
                                   "/b.mp3     " + dateTimeText(DateTime{} + std::chrono::hours(48))}));

    // A folder that cannot be listed leaves no names of the previous one behind.
    EXPECT_THROW(player.File1.setPath("/gone"), FileSystemError);
    EXPECT_EQ(player.File1.Path(), "/gone");
    EXPECT_EQ(player.File1.ListCount(), 0);
}

TEST_F(Builder, NameAndDateOrderOfThreeFilesAndOfEqualDates)
{
    fs.addFile("/r/c.mp3", 2);
    fs.addFile("/r/a.mp3", 3);
    fs.addFile("/r/b.mp3", 1);
    auto build = [&](bool byDate) {
        options("/r", 0, 0, byDate);
        player.File1.setPath("/r");
        player.BuildPlayList();
        Files order;
        for (const auto& e : *player.PlayList)
            order.push_back(e.path.substr(3));
        return order;
    };
    EXPECT_EQ(build(false), (Files{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(build(true), (Files{"b.mp3", "c.mp3", "a.mp3"}));

    for (const char* f : {"/s/d.mp3", "/s/a.mp3", "/s/c.mp3", "/s/b.mp3"})
        fs.addFile(f, 5);
    options("/s", 0, 0, true);
    player.File1.setPath("/s");
    player.BuildPlayList();
    Files same;
    for (const auto& e : *player.PlayList)
        same.push_back(e.path);
    EXPECT_EQ(same, (Files{"/s/a.mp3", "/s/b.mp3", "/s/c.mp3", "/s/d.mp3"}));
}

// The exchange sort written out as plainly as it reads, on plain keys, to
// check the real one moves whole records into exactly the same permutation.
std::vector<int> referencePermutation(std::vector<long long> keys)
{
    std::vector<int> ids(keys.size());
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = static_cast<int>(i);
    const long long c = static_cast<long long>(keys.size());
    const long long last = c - 1;
    long long gap = c / 2;
    while (gap >= 1) {
        bool mark;
        do {
            mark = false;
            for (long long i = 0; i <= last - gap; ++i) {
                if (keys[i] > keys[i + gap]) {
                    std::swap(keys[i], keys[i + gap]);
                    std::swap(ids[i], ids[i + gap]);
                    mark = true;
                }
            }
        } while (mark);
        gap /= 2;
    }
    return ids;
}

TEST(SortArray, SamePermutationAsTheWrittenOutAlgorithmWithTies)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const std::size_t count = random() % 40;
        std::vector<long long> keys(count);
        std::vector<PlayListEntry> records(count);
        for (std::size_t i = 0; i < count; ++i) {
            keys[i] = random() % 6; // few values: many ties
            records[i] = {std::to_string(i), DateTime{} + std::chrono::seconds(keys[i])};
        }
        SortArray(records, 1);
        const std::vector<int> expected = referencePermutation(keys);
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(records[i].path, std::to_string(expected[i])) << "round " << round << " at " << i;
    }
}

TEST(SortedList, ReadsPastTheEndAsEmptyAndKeepsEachPathOnce)
{
    SortedList list;
    list.AddItems({"/m/b", "/m", "/m/A"});
    list.AddItem("/m/a0");
    list.AddItems({"/m/A", "/m/c"});
    EXPECT_EQ(list.items(), (std::vector<std::string>{"/m", "/m/A", "/m/a0", "/m/b", "/m/c"}));
    EXPECT_EQ(list.List(5), "");
    EXPECT_EQ(list.List(-1), "");
}

} // namespace
} // namespace orvane::test
