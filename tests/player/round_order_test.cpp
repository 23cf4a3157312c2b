#include "player_fixture.h"

#include "player/round_order.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace orvane::test {
namespace {

using Files = std::vector<std::string>;
using Folders = std::vector<std::string>;

// /t and its folders: six hold music (the play path itself among them), /t/C
// holds none but a folder that does. Dates run against the names in A and D.
void makeTree(FakeFileSystem& fs)
{
    fs.addFile("/t/1.mp3", 1);
    fs.addFile("/t/A/a1.mp3", 3);
    fs.addFile("/t/A/a2.mp3", 2);
    fs.addFile("/t/A/X/x.mp3", 1);
    fs.addFile("/t/B/b.mp3", 1);
    fs.addFolder("/t/C");
    fs.addFile("/t/C/D/d1.mp3", 2);
    fs.addFile("/t/C/D/d2.mp3", 1);
    fs.addFile("/t/E/e.mp3", 1);
}

const std::set<std::string> MusicFolders = {"/t", "/t/A", "/t/A/X", "/t/B", "/t/C/D", "/t/E"};

std::string folderOf(const std::string& file)
{
    return file.substr(0, file.rfind('/'));
}

// The folders in the order their files played, one entry for each run of
// files from the same folder.
Folders runsOf(const Files& files)
{
    Folders runs;
    for (const std::string& file : files) {
        if (runs.empty() || runs.back() != folderOf(file))
            runs.push_back(folderOf(file));
    }
    return runs;
}

// Ticks as the timer would, each file opened ending before the next tick,
// until the player is idle or opened that many files (the last still plays).
Files playOn(Player& player, FakeMMControl& mm, std::size_t files = 1000)
{
    for (int i = 0; i < 4000 && player.controls().enabled(Ctl::Timer1) && mm.opened().size() < files; ++i) {
        const std::size_t before = mm.opened().size();
        player.Timer1_Timer();
        if (mm.opened().size() > before && mm.opened().size() < files)
            mm.finish();
    }
    return mm.opened();
}

class ShuffledRounds : public PlayerFixture {
protected:
    ShuffledRounds()
    {
        makeTree(fs);
        shuffle(player, 1);
    }

    void shuffle(Player& p, std::uint64_t firstSeed, int repeat = 0, bool byDate = false)
    {
        setOptions(p.controls(), "/t", 1, repeat, byDate);
        p.controls().setShuffle(true);
        seeds = firstSeed;
        p.drawSeed = [this] { return seeds++; };
    }

    std::uint64_t seeds = 1;
};

// Every folder once per round, each whole and in the chosen file order; the
// order is the seed's, so rounds differ, and not always from the play path.
TEST_F(ShuffledRounds, EachRoundPlaysEveryFolderOnceWholeInItsFileOrder)
{
    std::set<Folders> orders;
    std::set<std::string> firsts;
    for (const bool byDate : {false, true}) {
        for (std::uint64_t seed = 1; seed <= 12; ++seed) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (byDate ? " date order" : " name order"));
            mm.clear();
            shuffle(player, seed * 7919, 0, byDate);
            player.cmdPlay_Click();
            const Files files = playThrough();
            const Folders runs = runsOf(files);
            EXPECT_EQ(std::set<std::string>(runs.begin(), runs.end()), MusicFolders);
            EXPECT_EQ(runs.size(), MusicFolders.size()) << "a folder played twice, or split";
            EXPECT_EQ(files.size(), 8u);
            const auto a1 = std::find(files.begin(), files.end(), "/t/A/a1.mp3");
            const auto d1 = std::find(files.begin(), files.end(), "/t/C/D/d1.mp3");
            ASSERT_TRUE(a1 != files.end() && d1 != files.end());
            // a1 and d1 are the newer of their folders: last by date, first by name.
            EXPECT_EQ(*(byDate ? a1 - 1 : a1 + 1), "/t/A/a2.mp3");
            EXPECT_EQ(*(byDate ? d1 - 1 : d1 + 1), "/t/C/D/d2.mp3");
            EXPECT_EQ(player.PlayOn, 0) << "a tree that is not repeated ends";
            orders.insert(runs);
            firsts.insert(runs.front());
        }
    }
    EXPECT_GT(orders.size(), 8u);
    EXPECT_GT(firsts.size(), 2u);
    EXPECT_EQ(orders.count(Folders{"/t", "/t/A", "/t/A/X", "/t/B", "/t/C/D", "/t/E"}), 0u) << "path order";
}

// Repeat All: a round after round, each in a new order, none beginning with
// the folder the one before ended with; the media control learns each next
// file ahead, the next round's first too.
TEST_F(ShuffledRounds, ANewRoundNeverBeginsWithTheFolderTheLastEndedWith)
{
    shuffle(player, 3, 1);
    player.cmdPlay_Click();
    const Files files = playThrough(2000);
    ASSERT_EQ(mm.nextFiles.size(), files.size());
    for (std::size_t i = 0; i + 1 < files.size(); ++i)
        ASSERT_EQ(mm.nextFiles[i], files[i + 1]) << "the hint at " << files[i];
    const Folders runs = runsOf(files);
    ASSERT_GE(runs.size(), 20 * MusicFolders.size());
    std::set<Folders> rounds;
    for (std::size_t r = 0; r + 1 < runs.size() / MusicFolders.size(); ++r) {
        const Folders round(runs.begin() + static_cast<std::ptrdiff_t>(r * MusicFolders.size()),
                            runs.begin() + static_cast<std::ptrdiff_t>((r + 1) * MusicFolders.size()));
        EXPECT_EQ(std::set<std::string>(round.begin(), round.end()), MusicFolders) << "round " << r;
        rounds.insert(round);
    }
    for (std::size_t i = 1; i < runs.size(); ++i)
        EXPECT_NE(runs[i], runs[i - 1]) << "the folder after " << i;
    EXPECT_GT(rounds.size(), 10u);
}

// A close, crash or kill in the middle of a round: the next start goes on
// with the rest of that round in its order, whatever seed it would draw, and
// a folder added meanwhile moves none of the others.
TEST_F(ShuffledRounds, ARoundStoredWithThePlaceGoesOnInItsOrder)
{
    const Files whole = [&] {
        player.cmdPlay_Click();
        return playThrough();
    }();
    ASSERT_EQ(whole.size(), 8u);
    for (const bool added : {false, true}) {
        for (const bool closed : {true, false}) {
            SCOPED_TRACE(testing::Message() << (closed ? "closed" : "killed") << (added ? ", a folder added" : ""));
            MemoryPlaceStore store;
            {
                FakeMMControl before;
                Player first(before, fs, ui);
                first.place().keepIn(&store);
                shuffle(first, 1);
                first.cmdPlay_Click();
                ASSERT_EQ(playOn(first, before, 4), Files(whole.begin(), whole.begin() + 4));
                first.programEnds(closed);
            }
            if (added)
                fs.addFile("/t/F/f.mp3");
            FakeMMControl after;
            Player next(after, fs, ui);
            next.place().keepIn(&store);
            shuffle(next, 99);
            if (closed)
                next.cmdPlay_Click();
            else
                ASSERT_TRUE(next.playOnByItself());
            Files rest = playOn(next, after);
            EXPECT_LE(std::count(rest.begin(), rest.end(), "/t/F/f.mp3"), 1);
            rest.erase(std::remove(rest.begin(), rest.end(), "/t/F/f.mp3"), rest.end());
            EXPECT_EQ(rest, Files(whole.begin() + 3, whole.end())) << "from the file heard on";
            fs.remove("/t/F");
        }
    }
}

// A file added to a folder the round has yet to reach plays in this round;
// a folder added once the tree has been walked waits for the next round.
TEST_F(ShuffledRounds, WhatIsAddedDuringARoundCountsAsInAnyRound)
{
    shuffle(player, 5, 1);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    const std::string firstFolder = folderOf(mm.opened().front());
    const std::string later = firstFolder == "/t/E" ? "/t/B" : "/t/E";
    fs.addFile(later + "/new.mp3");
    fs.addFile("/t/G/g.mp3");
    mm.finish();
    const Files files = playOn(player, mm, 30);
    const auto added = std::find(files.begin(), files.end(), later + "/new.mp3");
    const auto g = std::find(files.begin(), files.end(), "/t/G/g.mp3");
    ASSERT_NE(g, files.end());
    EXPECT_LT(added - files.begin(), 9) << "in the first round, of 9 files";
    EXPECT_GE(g - files.begin(), 9) << "the new folder waits for the next round";
    player.cmdStop_Click();
}

// Where the file system answers later, the first file of a shuffled round
// opens after about as few answers as in path order: the rest of the tree is
// walked while it plays, and the round then plays every folder once.
TEST(ShuffledRoundStart, TheFirstFileOpensBeforeTheTreeIsWalked)
{
    const auto listingsBeforeFirstOpen = [](bool shuffled) {
        FakeFileSystem fs;
        for (int i = 0; i < 40; ++i)
            fs.addFile("/t/" + std::to_string(100 + i) + "/s.mp3");
        FakeMMControl mm;
        FakeUi ui;
        SlowFileService share(fs);
        Player player(mm, share, ui);
        setOptions(player.controls(), "/t", 1, 0);
        player.controls().setShuffle(shuffled);
        player.drawSeed = [] { return 42; };
        player.cmdPlay_Click();
        for (int i = 0; i < 100 && mm.opened().empty(); ++i) {
            share.answer();
            player.Timer1_Timer();
        }
        EXPECT_FALSE(mm.opened().empty());
        EXPECT_EQ(mm.opened().front() == "/t/100/s.mp3", !shuffled);
        const std::size_t listings = fs.listings.size();
        mm.finish();
        for (int i = 0; i < 400 && player.controls().enabled(Ctl::Timer1); ++i) {
            const std::size_t before = mm.opened().size();
            share.answerAll();
            player.Timer1_Timer();
            if (mm.opened().size() > before)
                mm.finish();
        }
        const Folders runs = runsOf(mm.opened());
        EXPECT_EQ(runs.size(), 40u);
        EXPECT_EQ(std::set<std::string>(runs.begin(), runs.end()).size(), 40u);
        EXPECT_EQ(std::is_sorted(runs.begin(), runs.end()), !shuffled);
        return listings;
    };
    const std::size_t inPathOrder = listingsBeforeFirstOpen(false);
    EXPECT_LE(listingsBeforeFirstOpen(true), inPathOrder + 4);
    EXPECT_LT(inPathOrder, 20u);
}

// A shuffled round played on from its place: the place's file opens after as
// few answers as a new round's first file, long before the tree is walked,
// and the rest of the round follows in its order. Where the place's folder
// has gone, the round goes on with the folder that followed it; a place
// that names a folder outside the tree never plays anything of it.
TEST(ShuffledRoundStart, APlaceInTheRoundPlaysOnBeforeTheTreeIsWalked)
{
    FakeFileSystem fs;
    for (int i = 0; i < 40; ++i)
        fs.addFile("/t/" + std::to_string(100 + i) + "/s.mp3");
    fs.addFile("/t/s.mp3"); // every folder holds music: a folder missed shows
    fs.addFile("/u/s.mp3");
    const auto play = [&fs](SlowFileService* share, MemoryPlaceStore& store, std::size_t files) {
        const PlacedRun run = runKeepingPlace(fs, share, store, files, [](ControlModel& c) {
            setOptions(c, "/t", 1, 0);
            c.setShuffle(true);
        });
        return std::make_pair(run.opened, run.listedByFirstOpen.size());
    };
    MemoryPlaceStore store;
    const Files whole = play(nullptr, store, 1000).first;
    ASSERT_EQ(whole.size(), 41u);
    enum Case { There, FolderGone, Outside };
    for (const Case c : {There, FolderGone, Outside}) {
        SCOPED_TRACE(c == There ? "the place's folder there" : c == FolderGone ? "its folder gone" : "outside the tree");
        store.text.clear();
        play(nullptr, store, 15);
        std::optional<Place> place = parsePlace(store.text);
        ASSERT_TRUE(place && place->file == whole[14]);
        const std::string folder = place->folder;
        if (c == FolderGone)
            fs.remove(folder);
        if (c == Outside) {
            place->folder = "/u";
            place->file = "/u/s.mp3";
            store.text = placeText(*place);
        }
        fs.listings.clear();
        SlowFileService share(fs);
        const auto [rest, listings] = play(&share, store, 1000);
        if (c == Outside) {
            EXPECT_EQ(std::count(rest.begin(), rest.end(), "/u/s.mp3"), 0);
            continue;
        }
        EXPECT_EQ(rest, Files(whole.begin() + (c == There ? 14 : 15), whole.end()));
        if (c == There) {
            EXPECT_LT(listings, 10u) << "the place's file before the walk of 41 folders";
        }
        fs.addFile(folder + "/s.mp3");
    }
}

// The order itself: the first folder first, the rest by the seed's keys, so
// that a folder added or removed leaves the others where they were.
TEST(RoundOrder, AFolderAddedOrRemovedMovesNoOther)
{
    const Folders tree = {"/t", "/t/A", "/t/A/X", "/t/B", "/t/C", "/t/C/D", "/t/E", "/t/F"};
    for (std::uint64_t seed : {1ull, 2ull, 0xfeedfaceull}) {
        const ShuffledRound round{seed, "/t/C"};
        const Folders order = roundOrder(round, tree);
        ASSERT_EQ(order.size(), tree.size());
        EXPECT_EQ(order.front(), "/t/C");
        Folders reversed(tree.rbegin(), tree.rend());
        reversed.push_back("/t/A");
        EXPECT_EQ(roundOrder(round, reversed), order) << "whatever order the walk found them in, once each";
        for (const std::string& gone : tree) {
            Folders fewer = tree;
            fewer.erase(std::find(fewer.begin(), fewer.end(), gone));
            Folders expected = order;
            expected.erase(std::find(expected.begin(), expected.end(), gone));
            if (gone == round.first)
                continue; // the first folder stays first even when gone: it played already
            EXPECT_EQ(roundOrder(round, fewer), expected) << gone;
        }
        for (std::size_t i = 1; i < order.size(); ++i)
            EXPECT_TRUE(playsBefore(round, order[i - 1], order[i]) && !playsBefore(round, order[i], order[i - 1]));
    }
    EXPECT_NE(roundOrder({1, "/t"}, tree), roundOrder({2, "/t"}, tree));
}

} // namespace
} // namespace orvane::test
