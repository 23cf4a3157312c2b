#include "platform/collation.h"
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

// The letter order of the platform's sorted lists: case ignored for every
// letter, accented letters beside their base letters, digits before letters
// and one by one ("10" before "2"); names that are not text come last, by
// their bytes; a folder comes just before everything inside it.
TEST_F(Builder, FoldersAndFilesSortInTheLetterOrderWithParentsFirst)
{
    for (const char* f : {"/r/z\xC3\xA8" "bre", "/r/\xC3\xA9lan", "/r/b\xFF", "/r/B/c", "/r/Eland", "/r/10",
                          "/r/\xC3\x85ngstr\xC3\xB6m", "/r/a b", "/r/\xE9t\xE9", "/r/\xC3\x89lan", "/r/b",
                          "/r/Zebra", "/r/A/X", "/r/elan", "/r/angstrom/Z", "/r/2"})
        fs.addFolder(f);
    options("/r", 1, 0);
    player.WalkFolders();
    EXPECT_EQ(player.List1.items(),
              (Files{"/r", "/r/10", "/r/2", "/r/A", "/r/A/X", "/r/a b", "/r/angstrom", "/r/angstrom/Z",
                     "/r/\xC3\x85ngstr\xC3\xB6m", "/r/B", "/r/B/c", "/r/b", "/r/elan", "/r/\xC3\x89lan",
                     "/r/\xC3\xA9lan", "/r/Eland", "/r/Zebra", "/r/z\xC3\xA8" "bre", "/r/b\xFF", "/r/\xE9t\xE9"}));

    for (const char* f : {"/s/zo\xC3\xAB.mp3", "/s/Track 2.mp3", "/s/\xC3\x89t\xC3\xA9.mp3", "/s/track 10.mp3",
                          "/s/ZOE.mp3", "/s/\xE9t\xE9.mp3", "/s/ete.mp3", "/s/\xC3\xA9t\xC3\xA9s.mp3"})
        fs.addFile(f);
    player.File1.setPath("/s");
    EXPECT_EQ(player.File1.names(),
              (Files{"ete.mp3", "\xC3\x89t\xC3\xA9.mp3", "\xC3\xA9t\xC3\xA9s.mp3", "track 10.mp3", "Track 2.mp3",
                     "ZOE.mp3", "zo\xC3\xAB.mp3", "\xE9t\xE9.mp3"}));
}

// The lists keep themselves sorted by binary search and merging, which needs
// a strict weak order: never a < a, never both a < b and b < a, and a < b
// with b < c gives a < c, also across the rules for text and other bytes.
TEST(LetterOrder, IsAStrictWeakOrderOverAwkwardNames)
{
    const Files names = {"", "/", "/r", "/r/", "/r/a", "/r/A", "/r/a b", "/r/a/b", "/r/ab", "/r/\xC3\xA1",
                         "/r/\xC3\x81" "b", "/r/\xC3", "/r/\xC3\xA9", "/r/\xC3\xA9/x", "/r/\xFF", "/r/\xFF/a",
                         "/r/a\xFF", "/r/A\xFF", "/r/A\xFE", "/r/x\xE9", "a", "A", "\xC3\xA9", "\xC3\x89", "e\xCC\x81",
                         "\xED\xA0\x80", "\xC0\xAF", "10", "9", "-", "_", "a\xE2\x80\x8B" "b", "ab", "\xF0\x9F\x8E\xB5"};
    for (const auto& a : names) {
        EXPECT_FALSE(lessNoCase(a, a)) << a;
        for (const auto& b : names) {
            if (a != b) {
                EXPECT_NE(lessNoCase(a, b), lessNoCase(b, a)) << a << " / " << b;
            }
            for (const auto& c : names) {
                if (lessNoCase(a, b) && lessNoCase(b, c)) {
                    EXPECT_TRUE(lessNoCase(a, c)) << a << " < " << b << " < " << c;
                }
            }
        }
    }
    // Everything inside a folder comes after it.
    for (const auto& a : names) {
        for (const auto& b : names) {
            if (b.size() > a.size() && b.compare(0, a.size(), a) == 0 && b[a.size()] == '/') {
                EXPECT_TRUE(lessNoCase(a, b)) << a << " / " << b;
            }
        }
    }
    EXPECT_TRUE(lessNoCase("a\xFF", "Z\xFF")) << "letters without regard to case in names that are not text too";
    EXPECT_TRUE(lessNoCase("_\xFF", "A\xFF")) << "and after '_', as in text";
    EXPECT_TRUE(lessNoCase("/r/a\xFF/x", "/r/a\xFF-")) << "a name before the longer names it begins";
    // Text is whole UTF-8, up to U+10FFFF and without overlong forms: a lead
    // byte followed by anything but its continuation bytes is not.
    for (const char* broken : {"\xC3\x28", "\xE2\x82\x28", "\xF0\x9F\x8E\x28", "\xE2\x82", "\xC2\x7F", "\xC2\xC0",
                               "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(isText(broken)) << broken;
    EXPECT_FALSE(isText(std::string_view("a\0b", 3))) << "a NUL";
    for (const char* text : {"\xC2\x80", "\xC2\xBF", "\xE0\xA0\x80", "\xE2\x80\x80", "\xE2\xBF\xBF", "\xF0\x90\x80\x80", "\xF1\xBF\xBF\xBF",
                             "\xF4\x8F\xBF\xBF", "\xE2\x82\xAC\xF0\x9F\x8E\xB5"})
        EXPECT_TRUE(isText(text)) << text;
}

TEST_F(Builder, WalkYieldsOncePerFolderSkipsPageFileAndHiddenFolders)
{
    fs.addFolder("/r/one");
    fs.addFolder("/r/.hidden/inner");
    fs.addFolder("/r/pagefile.sys");
    fs.addFolder("/r/PageFile.Sys");
    fs.addFolder("/r/PAGEFILE.SYS");
    fs.addFolder("/r/pagefile.sym");
    fs.addFile("/r/song.mp3");
    fs.listsDots = true;
    options("/r", 0, 0);
    player.WalkFolders();
    EXPECT_EQ(player.List1.items(), (Files{"/r", "/r/one", "/r/pagefile.sym"}));
    EXPECT_EQ(fs.listings, (Files{"/r", "/r/one", "/r/pagefile.sym"})); // nothing else was examined
    EXPECT_EQ(ui.yields, 4); // after the hourglass and after each folder
    EXPECT_EQ(ui.pointers, (std::vector<int>{UiHost::PointerHourglass, UiHost::PointerDefault}));
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
    EXPECT_EQ(player.List1.items(), (Files{"/r", "/r/a", "/r/b", "/r/c", "/r/d"}));
    EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault);

    // A Stop in a yield ends the walk there, without a yield more.
    const int yieldsBefore = ui.yields;
    ui.atYield(2, [&] { player.cmdStop_Click(); });
    player.WalkFolders();
    EXPECT_EQ(ui.yields - yieldsBefore, 2);
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
    EXPECT_EQ(player.List2.lines(), (Files{"/a.mp3     " + dateTimeText(DateTime{} + std::chrono::hours(24)),
                                   "/b.mp3     " + dateTimeText(DateTime{} + std::chrono::hours(48))}));
    EXPECT_NE(player.List2[0].substr(6), player.List2[1].substr(6)) << "each file's own date";

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
    // By path (field 0), equal paths in the order they came.
    const DateTime later = DateTime{} + std::chrono::hours(24);
    std::vector<PlayListEntry> byPath = {{"/b", DateTime{}}, {"/a", DateTime{}}, {"/b", later}};
    SortArray(byPath, 0);
    EXPECT_EQ(byPath[0].path, "/a");
    EXPECT_EQ(byPath[2].created, later);
}

TEST(SortedList, ReadsPastTheEndAsEmptyAndKeepsEachPathOnce)
{
    SortedList list;
    for (const char* item : {"/m/c", "/m/b", "/m", "/m/A"})
        list.AddLast(item); // where it does not come last, where AddItem puts it
    for (const char* item : {"/m/a0", "/m/A", "/m/c"})
        list.AddItem(item);
    EXPECT_EQ(list.items(), (std::vector<std::string>{"/m", "/m/A", "/m/a0", "/m/b", "/m/c"}));
    EXPECT_EQ(list.List(5), "");
    EXPECT_EQ(list.List(-1), "");

    // Each entry is kept as what it adds to one above it: whatever came
    // first, whatever goes, each path reads back whole, and a name that only
    // begins like a folder's is no entry inside it.
    for (const char* item : {"/m/A/X/y", "/m/A/X", "/m2", "/m/A2", "/", "/n", "/m/A/X/y/z"})
        list.AddLast(item);
    list.RemoveItem(list.IndexOf("/m/A/X"));
    list.RemoveItem(list.IndexOf("/m"));
    EXPECT_EQ(list.items(), (std::vector<std::string>{"/", "/m/A", "/m/A/X/y", "/m/A/X/y/z", "/m/a0", "/m/A2", "/m/b",
                                                      "/m/c", "/m2", "/n"}));
    EXPECT_EQ(list.IndexOf("/m/A/X/y/z"), 3);
    EXPECT_EQ(list.IndexOf("/m/A/X"), -1);
}

TEST(BuildListing, KeepsEachLineAsItWasAdded)
{
    BuildListing list;
    const DateTime day = DateTime{} + std::chrono::hours(24);
    list.add("/m/a.mp3", day);
    list.add("/m/b.mp3", DateTime{});
    list.add("/n/a.mp3", day);
    list.push_back("as it is");
    list.add("/m/c.mp3", day);
    EXPECT_EQ(list.lines(), (std::vector<std::string>{"/m/a.mp3     " + dateTimeText(day),
                                                      "/m/b.mp3     " + dateTimeText(DateTime{}),
                                                      "/n/a.mp3     " + dateTimeText(day), "as it is",
                                                      "/m/c.mp3     " + dateTimeText(day)}));
    list.clear();
    EXPECT_TRUE(list.empty());
}

} // namespace
} // namespace orvane::test
