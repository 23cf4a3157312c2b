#include "player_fixture.h"

#include <algorithm>

namespace orvane::test {
namespace {

using Sequencer = PlayerFixture;
using Files = std::vector<std::string>;

// root has a, b, c; sub folders A (x), A/X (y), B (z) and an empty folder E.
void makeTree(FakeFileSystem& fs)
{
    fs.addFile("/m/c.mp3");
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/b.mp3");
    fs.addFile("/m/B/z.mp3");
    fs.addFolder("/m/E");
    fs.addFile("/m/A/X/y.mp3");
    fs.addFile("/m/A/x.mp3");
}

TEST_F(Sequencer, InvalidPathShowsTheErrorAndChangesNothing)
{
    for (const char* path : {"", "/nowhere", "/m/a.mp3"}) {
        fs.addFile("/m/a.mp3");
        options(path, 1, 1);
        player.cmdPlay_Click();
        ASSERT_EQ(ui.boxes.size(), 1u) << path;
        EXPECT_EQ(ui.boxes[0].text, "The Path you have entered is invalid!");
        EXPECT_EQ(ui.boxes[0].title, "Path Error");
        EXPECT_EQ(ui.boxes[0].style, 48);
        expectSet(ctl, Set::Idle);
        EXPECT_EQ(player.PlayOn, 0);
        EXPECT_EQ(player.DeviceReady, 0);
        EXPECT_TRUE(mm.log.empty());
        EXPECT_EQ(ui.yields, 0);
        ui.boxes.clear();
    }
}

TEST_F(Sequencer, NewStartResetsTheControlWalksAndStartsTheTimer)
{
    makeTree(fs);
    options("/m/", 0, 0);
    player.cmdPlay_Click();
    EXPECT_EQ(mm.log, (Files{"Command=Close", "Notify=0", "Wait=1", "Shareable=0"}));
    EXPECT_EQ(player.FirstFile, "c.mp3"); // first in listing order
    EXPECT_EQ(player.List1.items(), (Files{"/m", "/m/A", "/m/A/X", "/m/B", "/m/E"}));
    EXPECT_EQ(player.File1.names(), (Files{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_TRUE(player.BuildList);
    EXPECT_EQ(player.PlayOn, 1);
    EXPECT_EQ(player.DeviceReady, 1);
    expectSet(ctl, Set::Playing);
    EXPECT_EQ(ui.pointers, (std::vector<int>{11, 0}));
    player.Timer1_Timer();
    EXPECT_EQ(mm.log, (Files{"Command=Close", "Notify=0", "Wait=1", "Shareable=0", "FileName=/m/a.mp3",
                             "Command=Open", "Command=Play"}));
}

TEST_F(Sequencer, NoSubfoldersNoRepeatPlaysTheFolderOnceThenStops)
{
    makeTree(fs);
    options("/m", 0, 0);
    player.cmdPlay_Click();
    EXPECT_EQ(playThrough(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"}));
    expectSet(ctl, Set::Idle);
    EXPECT_EQ(player.List1.ListCount(), 0);
    EXPECT_TRUE(player.List2.empty());
}

TEST_F(Sequencer, SingleFolderRepeatPlaysTheFolderAgainWithoutRebuilding)
{
    makeTree(fs);
    options("/m", 0, 1);
    player.cmdPlay_Click();
    const Files played = playThrough(40);
    ASSERT_GE(played.size(), 7u);
    for (std::size_t i = 0; i < played.size(); ++i)
        EXPECT_EQ(played[i], (Files{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"})[i % 3]);
    EXPECT_EQ(player.List2.size(), 3u); // built once
    expectSet(ctl, Set::Playing);
}

TEST_F(Sequencer, SingleFolderRepeatRebuildsWhenTheLastFileEndedBeforeTheNextTick)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/b.mp3");
    options("/m", 0, 1);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.Timer1_Timer(); // b
    player.cmdSkip_Click(); // b ends before the tick that would rewind
    player.Timer1_Timer(); // marks the list for a build, rewinds
    player.Timer1_Timer(); // builds again and plays a
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/a.mp3"}));
    EXPECT_EQ(player.List2.size(), 4u);
}

TEST_F(Sequencer, SubfoldersPlayInPathOrderThenStop)
{
    makeTree(fs);
    options("/m", 1, 0);
    player.cmdPlay_Click();
    EXPECT_EQ(playThrough(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3",
                                    "/m/A/X/y.mp3", "/m/B/z.mp3"}));
    expectSet(ctl, Set::Idle);
}

TEST_F(Sequencer, TreeRepeatStopsAndStartsAgainFromThePlayPath)
{
    makeTree(fs);
    options("/m", 1, 1);
    player.cmdPlay_Click();
    const Files played = playThrough(200);
    const Files pass{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3"};
    ASSERT_GE(played.size(), 13u);
    for (std::size_t i = 0; i < played.size(); ++i)
        EXPECT_EQ(played[i], pass[i % pass.size()]) << i;
    expectSet(ctl, Set::Playing);
}

TEST_F(Sequencer, SubfoldersStartWithTheFirstFolderThatHoldsFiles)
{
    fs.addFolder("/m/Empty");
    fs.addFile("/m/Empty/readme.txt");
    fs.addFile("/m/Later/song.mp3");
    options("/m", 1, 0);
    player.cmdPlay_Click();
    EXPECT_EQ(playThrough(), (Files{"/m/Later/song.mp3"}));
}

TEST_F(Sequencer, NoMp3WithoutSubfoldersTicksDoNothingUntilStop)
{
    fs.addFile("/m/A/x.mp3");
    options("/m", 0, 0);
    player.cmdPlay_Click();
    for (int i = 0; i < 20; ++i)
        player.Timer1_Timer();
    EXPECT_TRUE(mm.opened().empty());
    expectSet(ctl, Set::Playing);
    player.cmdStop_Click();
    expectSet(ctl, Set::Idle);

    // Once a play list has been built empty (its folder emptied before the
    // build), the end check finds that list's end: the first tick stops.
    fs.addFile("/e/gone.mp3");
    options("/e", 0, 0);
    player.cmdPlay_Click();
    fs.remove("/e/gone.mp3");
    player.Timer1_Timer();
    expectSet(ctl, Set::Idle);
    options("/m", 0, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    expectSet(ctl, Set::Idle);
}

TEST_F(Sequencer, NoMp3AnywhereWithSubfoldersStopsOnTheFirstTick)
{
    fs.addFile("/m/A/readme.txt");
    options("/m", 1, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    expectSet(ctl, Set::Idle);
}

// A repeated tree with nothing to play is walked again now and then, not at
// every tick, and the controls hold still meanwhile; music that appears plays.
TEST_F(Sequencer, TreeRepeatWithNoMp3WaitsBetweenQuietRewalksUntilMusicAppears)
{
    fs.addFolder("/m/A");
    options("/m", 1, 1);
    player.cmdPlay_Click();
    int changes = 0;
    ctl.changes().connect([&](Ctl) { ++changes; });
    // Each start, the first and every walk after it, resets the control once.
    const auto starts = [&] { return std::count(mm.log.begin(), mm.log.end(), "Notify=0"); };
    for (int i = 0; i < 12; ++i) {
        player.Timer1_Timer();
        expectSet(ctl, Set::Playing);
        EXPECT_EQ(player.List1.items(), (Files{"/m", "/m/A"})); // walked afresh, not doubled
    }
    const auto rewalks = starts() - 1;
    EXPECT_GE(rewalks, 3);
    EXPECT_LE(rewalks, 4) << "one walk per three ticks at most";
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(ui.tickRequests, starts()) << "only each start asked for a tick";

    fs.addFile("/m/A/new.mp3");
    for (int i = 0; i < 6 && mm.opened().empty(); ++i)
        player.Timer1_Timer();
    EXPECT_EQ(mm.opened(), (Files{"/m/A/new.mp3"}));
    player.cmdStop_Click();
    expectSet(ctl, Set::Idle);
    EXPECT_EQ(player.List1.ListCount(), 0);
}

// The more folders a pass with nothing to play had to look at, the longer
// the next waits.
TEST_F(Sequencer, TreeRepeatWaitsLongerAfterALargerEmptyTree)
{
    const auto ticksBetweenWalks = [&](int folders) {
        for (int i = 0; i < folders; ++i)
            fs.addFolder("/t" + std::to_string(folders) + "/f" + std::to_string(i));
        const std::string root = "/t" + std::to_string(folders);
        options(root, 1, 1);
        player.cmdPlay_Click();
        std::vector<int> walkTicks;
        for (int tick = 0; tick < 200 && walkTicks.size() < 3; ++tick) {
            const auto listed = fs.listings.size();
            player.Timer1_Timer();
            if (std::find(fs.listings.begin() + static_cast<std::ptrdiff_t>(listed), fs.listings.end(), root)
                != fs.listings.end())
                walkTicks.push_back(tick);
        }
        player.cmdStop_Click();
        return walkTicks.size() < 3 ? 1000 : walkTicks[2] - walkTicks[1];
    };
    const int small = ticksBetweenWalks(1);
    const int large = ticksBetweenWalks(1000);
    EXPECT_LE(small, 3);
    EXPECT_GE(large, small + 5);
    EXPECT_LT(large, 1000) << "the large tree is still walked again";

    // What a sequence stopped before its round ended had looked at does not
    // make the next one wait.
    options("/t1000", 1, 1);
    player.cmdPlay_Click(); // walked whole
    player.cmdStop_Click();
    options("/t1", 1, 1);
    player.cmdPlay_Click();
    int firstWalk = 0;
    for (const auto listed = fs.listings.size(); firstWalk < 50; ++firstWalk) {
        player.Timer1_Timer();
        if (std::find(fs.listings.begin() + static_cast<std::ptrdiff_t>(listed), fs.listings.end(), "/t1")
            != fs.listings.end())
            break;
    }
    EXPECT_LE(firstWalk, small);
}

// Files that cannot be played are tried one per tick, not back to back, and
// a single-folder round of them waits before the next round, from the first
// round on, whether a failure is told at once or a tick after the open (when
// the round has come round while the last file was being tried).
class UnplayableFiles : public PlayerFixture, public ::testing::WithParamInterface<int> {};

TEST_P(UnplayableFiles, AreTriedOncePerTickAndTheRoundWaits)
{
    const int failsAfter = GetParam(); // ticks from the open to the failure
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/b.mp3");
    options("/m", 0, 1);
    player.cmdPlay_Click();
    std::vector<int> openTicks;
    int failIn = -1;
    for (int tick = 0; tick < 30; ++tick) {
        if (player.DeviceReady == 1)
            player.cmdSkip_Click(); // with nothing playing, cuts no wait short
        const auto before = mm.opened().size();
        const int asked = ui.tickRequests;
        player.Timer1_Timer();
        EXPECT_LE(mm.opened().size(), before + 1);
        if (mm.opened().size() > before) {
            openTicks.push_back(tick);
            failIn = failsAfter;
        }
        if (failIn == 0) {
            mm.finish(MMControl::NotifyFailure);
            EXPECT_EQ(ui.tickRequests, asked) << "no tick at once after a failure";
        }
        if (failIn >= 0)
            --failIn;
    }
    ASSERT_GE(openTicks.size(), 6u);
    for (std::size_t k = 2; k < openTicks.size(); k += 2)
        EXPECT_GE(openTicks[k] - openTicks[k - 1], 3) << "round " << k / 2 << " waited";
    expectSet(ctl, Set::Playing);

    // Stop ends the wait: the next Play plays at once.
    for (int i = 0; i < 4 && !player.passWaits(); ++i) {
        player.Timer1_Timer();
        if (player.DeviceReady == 0)
            mm.finish(MMControl::NotifyFailure);
    }
    ASSERT_TRUE(player.passWaits());
    player.cmdStop_Click();
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened().back(), "/m/a.mp3");
}

INSTANTIATE_TEST_SUITE_P(FailingAfter, UnplayableFiles, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "AtOnce" : "ATick"; });

// Under single-folder repeat the folder is read again for each round: files
// added during a round play in the next, and a folder emptied (or a medium
// taken away) is looked at once per held round until music comes back.
TEST_F(Sequencer, SingleFolderRepeatReadsTheFolderAgainForEachRound)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/c.mp3");
    options("/m", 0, 1);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    fs.addFile("/m/b.mp3");
    Files played = playThrough(12);
    ASSERT_GE(played.size(), 6u);
    played.resize(6);
    EXPECT_EQ(played, (Files{"/m/a.mp3", "/m/c.mp3", "/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/a.mp3"}));

    for (const char* f : {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"})
        fs.remove(f);
    playThrough(8); // what was under way ends
    if (player.DeviceReady == 0)
        mm.finish();
    const auto opened = mm.opened().size();
    const auto listed = fs.listings.size();
    const int asked = ui.tickRequests;
    for (int i = 0; i < 30; ++i)
        player.Timer1_Timer();
    EXPECT_EQ(mm.opened().size(), opened) << "nothing is tried";
    EXPECT_GE(fs.listings.size() - listed, 8u);
    EXPECT_LE(fs.listings.size() - listed, 15u) << "one reading per two ticks at most";
    EXPECT_EQ(ui.tickRequests, asked);
    expectSet(ctl, Set::Playing);
    // However many rounds it stays empty, each waits as long as the first,
    // what each round's looking took counting in its own wait only.
    const auto firstRounds = fs.listings.size() - listed;
    fs.clock = &ui.now;
    fs.callCost = std::chrono::milliseconds(5);
    for (int i = 0; i < 1000; ++i)
        player.Timer1_Timer();
    const auto later = fs.listings.size();
    for (int i = 0; i < 30; ++i)
        player.Timer1_Timer();
    EXPECT_GE(fs.listings.size() - later + 1, firstRounds);

    fs.addFile("/m/back.mp3");
    for (int i = 0; i < 4 && mm.opened().size() == opened; ++i)
        player.Timer1_Timer();
    EXPECT_EQ(mm.opened().back(), "/m/back.mp3");
}

// A play path that is there but cannot be read holds nothing, its subfolders
// included: the first tick ends the sequence, whatever an earlier sequence
// had found in it.
TEST_F(Sequencer, AnUnreadablePlayPathEndsAtTheFirstTick)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/A/x.mp3");
    options("/m", 1, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    player.cmdStop_Click();
    fs.makeUnreadable("/m");
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3"}));
    expectSet(ctl, Set::Idle);
}

TEST_F(Sequencer, SkipOnTheLastFileIsItsNaturalEnd)
{
    makeTree(fs);
    options("/m", 1, 0);
    player.cmdPlay_Click();
    for (int i = 0; i < 3; ++i) {
        player.Timer1_Timer();
        player.cmdSkip_Click();
    }
    player.Timer1_Timer(); // the folder's end, exactly as after a natural end
    EXPECT_EQ(mm.opened().back(), "/m/c.mp3");
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened().back(), "/m/A/x.mp3");
}

TEST_F(Sequencer, CompletionWhileIdleOnlyFreesTheDevice)
{
    mm.finish();
    EXPECT_EQ(player.DeviceReady, 1);
    EXPECT_EQ(mm.commands(), (Files{"Close"}));
    expectSet(ctl, Set::Idle);
}

TEST_F(Sequencer, DateOrderSortsEachFolderByCreation)
{
    fs.addFile("/m/a.mp3", 3);
    fs.addFile("/m/b.mp3", 1);
    fs.addFile("/m/c.mp3", 2);
    options("/m", 0, 0, true);
    player.cmdPlay_Click();
    EXPECT_EQ(playThrough(), (Files{"/m/b.mp3", "/m/c.mp3", "/m/a.mp3"}));

    // The next folder too, and the file named ahead at the folder change is
    // its first by date.
    fs.addFile("/m/S/x.mp3", 2);
    fs.addFile("/m/S/y.mp3", 1);
    mm.nextFiles.clear();
    options("/m", 1, 0, true);
    player.cmdPlay_Click();
    const Files opened = playThrough();
    EXPECT_EQ(Files(opened.begin() + 3, opened.end()), (Files{"/m/b.mp3", "/m/c.mp3", "/m/a.mp3", "/m/S/y.mp3", "/m/S/x.mp3"}));
    EXPECT_EQ(mm.nextFiles, (Files{"/m/c.mp3", "/m/a.mp3", "/m/S/y.mp3", "/m/S/x.mp3", ""}));
}

// Each folder is named to the control whole, in the order it plays, by the
// time its first file opens and, for the next folder, no later than its first
// file is named to follow: a control that levels measures it from that.
TEST_F(Sequencer, EachFolderIsNamedWholeAheadOfItsFiles)
{
    fs.addFile("/m/a.mp3", 3);
    fs.addFile("/m/b.mp3", 1);
    fs.addFile("/m/S/x.mp3", 2);
    fs.addFile("/m/S/y.mp3", 1);
    options("/m", 1, 0, true);
    player.cmdPlay_Click();
    EXPECT_EQ(playThrough(), (Files{"/m/b.mp3", "/m/a.mp3", "/m/S/y.mp3", "/m/S/x.mp3"}));
    const auto first = std::find(mm.folders.begin(), mm.folders.end(), Files{"/m/b.mp3", "/m/a.mp3"});
    const auto second = std::find(mm.folders.begin(), mm.folders.end(), Files{"/m/S/y.mp3", "/m/S/x.mp3"});
    ASSERT_NE(first, mm.folders.end());
    ASSERT_NE(second, mm.folders.end());
    EXPECT_EQ(mm.hintsBefore[static_cast<std::size_t>(first - mm.folders.begin())], 0u);
    const auto hintOfY = std::find(mm.nextFiles.begin(), mm.nextFiles.end(), "/m/S/y.mp3");
    ASSERT_NE(hintOfY, mm.nextFiles.end());
    EXPECT_LE(mm.hintsBefore[static_cast<std::size_t>(second - mm.folders.begin())],
              static_cast<std::size_t>(hintOfY - mm.nextFiles.begin()))
        << "named while the folder before plays";
}

// A Pause that falls between the end of one file and the next tick holds
// whatever that tick would start, also across a folder change and the
// restart of a repeated tree.
TEST_F(Sequencer, PauseInTheGapHoldsTheNextFolderUntilResume)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/A/x.mp3");
    options("/m", 1, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.cmdPause_Click();
    for (int i = 0; i < 4; ++i)
        player.Timer1_Timer(); // the folder changes, but nothing opens
    EXPECT_EQ(player.File1.Path(), "/m/A");
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3"}));
    expectSet(ctl, Set::Paused);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/A/x.mp3"}));
    expectSet(ctl, Set::Playing);
}

TEST_F(Sequencer, PauseInTheGapAtTheEndOfARepeatedTreeHoldsTheRestartUntilResume)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/A/x.mp3");
    options("/m", 1, 1);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.Timer1_Timer(); // end of the play path's list
    player.Timer1_Timer(); // x, the tree's last file
    mm.finish();
    player.cmdPause_Click();
    mm.clear();
    const auto listings = fs.listings.size();
    for (int i = 0; i < 5; ++i)
        player.Timer1_Timer();
    EXPECT_TRUE(player.Paused);
    expectSet(ctl, Set::Paused);
    EXPECT_TRUE(mm.log.empty()) << "neither Stop nor a new start ran";
    EXPECT_EQ(fs.listings.size(), listings) << "the tree was not walked again";

    player.cmdPlay_Click();
    player.Timer1_Timer(); // Stop and the new start
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3"}));
    expectSet(ctl, Set::Playing);
}

TEST_F(Sequencer, StopDuringTheWalkMakesTheNewStartGiveUp)
{
    makeTree(fs);
    options("/m", 1, 0);
    for (int yield : {2, 1}) { // as the walk has begun, and before
        ui.atYield(yield, [&] { player.cmdStop_Click(); });
        player.cmdPlay_Click();
        expectSet(ctl, Set::Idle);
        EXPECT_EQ(player.List1.ListCount(), 0);
        EXPECT_FALSE(ctl.enabled(Ctl::Timer1));
        EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault) << "the hourglass goes with the walk";
    }
}

// After Play the walk goes on between ticks: the play path's files start once
// the play path alone has been listed, the folders still play in List1's
// order (walked on demand where the ticks outrun the walk), and List1 ends as
// the whole walk would make it.
TEST_F(Sequencer, ThePlayPathPlaysWhileTheWalkGoesOnBetweenTicks)
{
    makeTree(fs);
    fs.addFile("/m/A/X/Deep/d.mp3");
    fs.addFolder("/m/C/Y");
    options("/m", 1, 0);
    Files listedBeforeFirstOpen;
    std::vector<int> pointersAtFirstOpen;
    // A tick with the device free at every yield from the one after the
    // playing arrangement on; the first (yield 3) is the tick Play asks for.
    for (int y = 3; y < 40; ++y)
        ui.atYield(y, [&] {
            if (player.DeviceReady == 0)
                mm.finish();
            player.Timer1_Timer();
            if (listedBeforeFirstOpen.empty() && !mm.opened().empty()) {
                listedBeforeFirstOpen = fs.listings;
                pointersAtFirstOpen = ui.pointers;
                fs.addFile("/m/B/Later/new.mp3"); // in a part not walked yet
            }
        });
    player.cmdPlay_Click();
    ASSERT_FALSE(listedBeforeFirstOpen.empty());
    EXPECT_EQ(mm.opened().front(), "/m/a.mp3");
    EXPECT_EQ(listedBeforeFirstOpen, (Files(listedBeforeFirstOpen.size(), "/m"))) << "only the play path";
    EXPECT_EQ(pointersAtFirstOpen, (std::vector<int>{11, 0}));
    EXPECT_EQ(player.List1.items(), (Files{"/m", "/m/A", "/m/A/X", "/m/A/X/Deep", "/m/B", "/m/B/Later", "/m/C",
                                           "/m/C/Y", "/m/E"}));
    for (int i = 0; i < 20 && ctl.enabled(Ctl::Timer1); ++i) {
        mm.finish();
        player.Timer1_Timer();
    }
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3",
                                  "/m/A/X/Deep/d.mp3", "/m/B/z.mp3", "/m/B/Later/new.mp3"}));
    expectSet(ctl, Set::Idle);
}

// Where the sequence must wait for the walk to find its next folder, the
// pointer shows it; a Stop while the walk goes on ends it at once.
TEST_F(Sequencer, WaitingForTheWalkShowsTheHourglassAndStopEndsTheWalk)
{
    fs.addFolder("/m/A/B/C");
    fs.addFile("/m/A/B/C/far.mp3");
    options("/m", 1, 0);
    ui.atYield(3, [&] { player.Timer1_Timer(); }); // finds the play path empty
    player.cmdPlay_Click();
    EXPECT_EQ(mm.opened(), (Files{"/m/A/B/C/far.mp3"}));
    EXPECT_EQ(ui.pointers, (std::vector<int>{11, 0, 11, 0}));
    player.cmdStop_Click();

    for (int i = 0; i < 30; ++i)
        fs.addFolder("/m/Z" + std::to_string(i));
    ui.atYield(4, [&] { player.cmdStop_Click(); });
    player.cmdPlay_Click();
    EXPECT_LE(std::count_if(fs.listings.end() - 10, fs.listings.end(),
                            [](const std::string& f) { return f.rfind("/m/Z", 0) == 0; }),
              2);
    EXPECT_EQ(player.List1.ListCount(), 0);
    expectSet(ctl, Set::Idle);
}

TEST_F(Sequencer, SecondPlayDuringTheWalkPlaysEachFolderOnce)
{
    makeTree(fs);
    options("/m", 1, 0);
    ui.atYield(2, [&] { player.cmdPlay_Click(); });
    ui.atYield(5, [&] { // the newer start's first tick, and its file ends
        player.Timer1_Timer();
        mm.finish();
    });
    player.cmdPlay_Click();
    EXPECT_EQ(player.List1.items(), (Files{"/m", "/m/A", "/m/A/X", "/m/B", "/m/E"}));
    EXPECT_EQ(playThrough().size(), 6u);
}

TEST_F(Sequencer, StopDuringATicksYieldEndsTheSequenceCleanly)
{
    makeTree(fs);
    options("/m", 1, 1);
    player.cmdPlay_Click();
    ui.atYield(1, [&] { player.cmdStop_Click(); });
    player.Timer1_Timer();
    expectSet(ctl, Set::Idle);
    const auto opened = mm.opened().size();
    for (int i = 0; i < 5; ++i)
        player.Timer1_Timer(); // stray ticks after Stop open nothing
    EXPECT_EQ(mm.opened().size(), opened);
}

TEST_F(Sequencer, StopDuringTheLastYieldsOfTreeRepeatIsNotUndone)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/A/x.mp3");
    options("/m", 1, 1);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.Timer1_Timer(); // end of the play path's list
    player.Timer1_Timer(); // x
    mm.finish();
    // The tick that finds the end of the folder yields once; a Stop there
    // must end the sequence, not make the tree start again.
    ui.atYield(1, [&] { player.cmdStop_Click(); });
    player.Timer1_Timer();
    expectSet(ctl, Set::Idle);
    EXPECT_EQ(player.List1.ListCount(), 0);

    // The same for a Stop while the next folder is looked for.
    player.cmdPlay_Click();
    player.Timer1_Timer();
    mm.finish();
    player.Timer1_Timer();
    ui.atYield(1, [&] { player.cmdStop_Click(); });
    player.Timer1_Timer(); // looks for the next folder, yielding first
    expectSet(ctl, Set::Idle);
    EXPECT_EQ(mm.opened().size(), 3u);
}

TEST_F(Sequencer, StopAndPlayWhileTheNextFolderIsSoughtLeaveTheNewStartAlone)
{
    fs.addFile("/m/a.mp3");
    fs.addFolder("/m/B");
    fs.addFile("/m/C/c.mp3");
    options("/m", 1, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.Timer1_Timer(); // end of the play path's list
    // The search yields before probing B; Stop and a new Play come in there.
    ui.atYield(1, [&] {
        player.cmdStop_Click();
        player.cmdPlay_Click();
    });
    player.Timer1_Timer();
    EXPECT_EQ(player.FolderIndex, 0);
    EXPECT_EQ(player.FirstFile, "a.mp3");
    EXPECT_EQ(player.File1.Path(), "/m");
    EXPECT_EQ(playThrough(), (Files{"/m/a.mp3", "/m/a.mp3", "/m/C/c.mp3"}));
    expectSet(ctl, Set::Idle);
}

TEST_F(Sequencer, TicksNeverNestAndAFailingTickEndsQuietly)
{
    makeTree(fs);
    options("/m", 1, 0);
    player.cmdPlay_Click();
    int nested = 0;
    ui.atYield(1, [&] {
        const auto before = ui.yields;
        player.Timer1_Timer(); // the timer firing during a yield does nothing
        nested = ui.yields - before;
        EXPECT_TRUE(player.inTick());
    });
    player.Timer1_Timer();
    EXPECT_EQ(nested, 0);
    EXPECT_FALSE(player.inTick());

    // A folder that vanished after the walk: its probe fails and ends the tick;
    // the next tick goes on with the following folder.
    mm.finish();
    player.Timer1_Timer();
    player.Timer1_Timer();
    mm.finish();
    player.Timer1_Timer();
    mm.finish();
    player.Timer1_Timer();
    fs.remove("/m/A");
    mm.finish();
    player.Timer1_Timer();
    player.Timer1_Timer();
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened().back(), "/m/B/z.mp3");
}

TEST_F(Sequencer, FileVanishedBeforeTheBuildIsLeftOut)
{
    makeTree(fs);
    options("/m", 0, 0);
    player.cmdPlay_Click();
    fs.remove("/m/b.mp3");
    EXPECT_EQ(playThrough(), (Files{"/m/a.mp3", "/m/c.mp3"}));
}

TEST_F(Sequencer, FolderEmptiedBeforeTheBuildIsPassedOver)
{
    makeTree(fs);
    options("/m", 1, 0);
    player.cmdPlay_Click();
    for (const char* f : {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"})
        fs.remove(f);
    EXPECT_EQ(playThrough(), (Files{"/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3"}));
}

// Right after each open the control is told which file comes next, so that it
// can follow without a gap: exactly the file the sequence then opens (also
// where tree repeat starts over), or nothing where the sequence stops.
TEST_F(Sequencer, EachOpenNamesTheFileOpenedNext)
{
    struct Case {
        int sub, repeat;
        std::size_t files; // opened in the run
        Files hints;       // the first hints, one per open
    };
    const Case cases[] = {
        {0, 0, 3, {"/m/b.mp3", "/m/c.mp3", ""}},
        {0, 1, 7, {"/m/b.mp3", "/m/c.mp3", "/m/a.mp3", "/m/b.mp3"}},
        {1, 0, 6, {"/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3", ""}},
        {1, 1, 13, {"/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3", "/m/a.mp3", "/m/b.mp3"}},
    };
    makeTree(fs);
    for (const Case& c : cases) {
        SCOPED_TRACE("sub " + std::to_string(c.sub) + " repeat " + std::to_string(c.repeat));
        mm.log.clear();
        mm.nextFiles.clear();
        options("/m", c.sub, c.repeat);
        player.cmdPlay_Click();
        for (int i = 0; i < 500 && ctl.enabled(Ctl::Timer1) && mm.opened().size() < c.files; ++i) {
            player.Timer1_Timer();
            if (i % 2)
                mm.finish();
        }
        player.cmdStop_Click();
        const Files opened = mm.opened();
        ASSERT_EQ(opened.size(), c.files);
        ASSERT_EQ(mm.nextFiles.size(), opened.size());
        EXPECT_EQ(Files(mm.nextFiles.begin(), mm.nextFiles.begin() + static_cast<std::ptrdiff_t>(c.hints.size())),
                  c.hints);
        for (std::size_t k = 0; k + 1 < opened.size(); ++k) {
            if (!mm.nextFiles[k].empty()) {
                EXPECT_EQ(mm.nextFiles[k], opened[k + 1]) << k;
            }
        }
    }
}

TEST_F(Sequencer, LookAheadPassesEmptyAndUnreadableFoldersAndChangesNothing)
{
    fs.addFile("/m/a.mp3");
    fs.addFolder("/m/B");
    fs.addFile("/m/B/notes.txt");
    fs.addFile("/m/C/locked.mp3");
    fs.makeUnreadable("/m/C");
    fs.addFile("/m/D/late.mp3", 9);
    fs.addFile("/m/D/early.mp3", 1);
    fs.addFile("/m/D/middle.mp3", 5);
    options("/m", 1, 0, true);
    ui.atYield(3, [&] { player.Timer1_Timer(); }); // before the walk has gone past B
    player.cmdPlay_Click();
    EXPECT_EQ(mm.nextFiles, (Files{"/m/D/early.mp3"})); // date order in the next folder too
    EXPECT_EQ(player.FolderIndex, 0);
    EXPECT_EQ(player.FirstFile, "a.mp3");
    EXPECT_EQ(player.File1.Path(), "/m");
    EXPECT_EQ(player.List2.size(), 1u);
    EXPECT_FALSE(player.BuildList);
    mm.finish();
    EXPECT_EQ(playThrough(), (Files{"/m/a.mp3", "/m/D/early.mp3", "/m/D/middle.mp3", "/m/D/late.mp3"}));

    // Eight folders ahead at most: music in the eighth is named, in the ninth
    // it simply starts when its folder comes.
    for (const int empty : {7, 8}) {
        FakeFileSystem far;
        FakeMMControl farMm;
        FakeUi farUi;
        Player farPlayer(farMm, far, farUi);
        far.addFile("/f/a.mp3");
        for (int i = 0; i < empty; ++i)
            far.addFolder("/f/e" + std::to_string(i));
        far.addFile("/f/z/last.mp3");
        setOptions(farPlayer.controls(), "/f", 1, 0);
        farPlayer.cmdPlay_Click();
        farPlayer.Timer1_Timer();
        EXPECT_EQ(farMm.nextFiles, (Files{empty == 7 ? "/f/z/last.mp3" : ""})) << empty << " empty folders";
    }
}

// At the end of a repeated tree the next pass begins again with the play path,
// or with its first subfolder that holds files when it holds none itself; the
// file named there is the one the new pass opens after the walk.
TEST_F(Sequencer, TreeRepeatNamesTheFirstFileOfTheNextPass)
{
    fs.addFile("/t/A/notes.txt");
    fs.addFile("/t/B/b1.mp3");
    fs.addFile("/t/B/b2.mp3");
    fs.addFile("/t/C/c.mp3");
    options("/t", 1, 1);
    player.cmdPlay_Click();
    playThrough(60);
    const Files opened = mm.opened();
    ASSERT_GE(opened.size(), 7u);
    EXPECT_EQ(Files(opened.begin(), opened.begin() + 4), (Files{"/t/B/b1.mp3", "/t/B/b2.mp3", "/t/C/c.mp3", "/t/B/b1.mp3"}));
    for (std::size_t k = 0; k + 1 < opened.size(); ++k)
        EXPECT_EQ(mm.nextFiles[k], opened[k + 1]) << k;

    // A play path with files of its own comes first in the next pass.
    player.cmdStop_Click();
    mm.log.clear();
    mm.nextFiles.clear();
    fs.addFile("/t/own.mp3");
    player.cmdPlay_Click();
    playThrough(60);
    ASSERT_GE(mm.opened().size(), 5u);
    EXPECT_EQ(mm.opened()[4], "/t/own.mp3");
    EXPECT_EQ(mm.nextFiles[3], "/t/own.mp3");

    // Where no later folder has music, the play path's first file comes round.
    player.cmdStop_Click();
    mm.nextFiles.clear();
    for (const char* f : {"/t/B/b1.mp3", "/t/B/b2.mp3", "/t/C/c.mp3"})
        fs.remove(f);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(mm.nextFiles, (Files{"/t/own.mp3"}));
}

// A new start asks for its first tick at once, and so do a completion and the
// tick that finds a folder used up: a whole tree plays on requested ticks alone, however the
// completion falls (also during a tick's yield), and nothing is asked while idle.
TEST_F(Sequencer, CompletionsAndFolderEndsAskForTheNextTickAtOnce)
{
    mm.finish();
    EXPECT_EQ(ui.tickRequests, 0);

    makeTree(fs);
    options("/m", 1, 0);
    player.cmdPlay_Click();
    int served = 0;
    const auto runRequestedTicks = [&] {
        while (served < ui.tickRequests) {
            ++served;
            player.Timer1_Timer();
        }
    };
    EXPECT_EQ(ui.tickRequests, 1) << "the new start asks for its first tick";
    runRequestedTicks(); // opens a, without waiting for the timer
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3"}));
    for (int file = 0; file < 6 && ctl.enabled(Ctl::Timer1); ++file) {
        if (file == 2) {
            // This completion comes while the timer's tick yields; the tick
            // cannot start another, so it asks again when it ends.
            ui.atYield(1, [&] { mm.finish(); });
            player.Timer1_Timer();
        } else {
            mm.finish();
        }
        runRequestedTicks();
    }
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3",
                                  "/m/B/z.mp3"}));
    expectSet(ctl, Set::Idle);
    const int asked = ui.tickRequests;
    mm.finish();
    EXPECT_EQ(ui.tickRequests, asked);
}

// Ticks as the timer would, until the limit or until that many files have
// been opened; each file opened ends at once, heard when it is there and
// failing when it has gone.
void tickAndHear(Player& player, FakeMMControl& mm, FakeFileSystem& fs, int ticks,
                 std::size_t untilOpened = SIZE_MAX)
{
    for (int i = 0; i < ticks && mm.opened().size() < untilOpened; ++i) {
        const auto before = mm.opened().size();
        player.Timer1_Timer();
        if (mm.opened().size() == before)
            continue;
        const std::string path = mm.opened().back();
        const std::string folder = path.substr(0, path.rfind('/'));
        const bool there = fs.folderExists(folder) && fs.firstMp3(folder) != "";
        mm.finish(there ? MMControl::NotifySuccessful : MMControl::NotifyFailure);
    }
}

// The play path of a repeated tree goes away (a medium pulled, a share gone),
// after a round that played music or one that found none: nobody pressed Play
// for the next round, so no box; the sequence waits in the playing
// arrangement, looking now and then, and plays the play path first once it is
// back.
class PlayPathGone : public PlayerFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(PlayPathGone, ARepeatedTreeWaitsForItAndPlaysWhenItIsBack)
{
    const bool withMusic = GetParam();
    if (withMusic)
        makeTree(fs);
    else
        fs.addFolder("/m/A");
    options("/m", 1, 1);
    player.cmdPlay_Click();
    tickAndHear(player, mm, fs, 20, 6); // the round's last file heard (mid-round, see MediumGone)
    fs.remove("/m");
    tickAndHear(player, mm, fs, 10); // what was listed already fails
    const auto opened = mm.opened().size();
    const auto listed = fs.listings.size();
    tickAndHear(player, mm, fs, 60);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(mm.opened().size(), opened);
    EXPECT_EQ(fs.listings.size(), listed) << "only the play path is looked for";
    EXPECT_EQ(player.PlayOn, 1);
    expectSet(ctl, Set::Playing);
    EXPECT_TRUE(player.passWaits());
    for (int i = 0; i < 3; ++i) {
        tickAndHear(player, mm, fs, 1);
        EXPECT_TRUE(player.passWaits()) << "at every tick";
    }

    makeTree(fs);
    tickAndHear(player, mm, fs, 3, opened + 1);
    ASSERT_EQ(mm.opened().size(), opened + 1) << "plays again within three ticks: one held, one looks, one plays";
    tickAndHear(player, mm, fs, 60, opened + 6);
    const Files all = mm.opened();
    EXPECT_EQ(Files(all.begin() + static_cast<std::ptrdiff_t>(opened), all.end()),
              (Files{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3"}));
    expectSet(ctl, Set::Playing);
    player.cmdStop_Click();
    expectSet(ctl, Set::Idle);
    EXPECT_FALSE(player.passWaits());
    EXPECT_TRUE(ui.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(AfterARound, PlayPathGone, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ThatPlayed" : "OfNothing"; });

// The medium under a playing tree goes away (a USB disk pulled, a share
// gone), a few seconds into a file, and comes back a while later: the files
// that fail meanwhile are no files that cannot be played. The sequence waits
// in the playing arrangement at the file it had reached, keeps its place,
// and goes on from there once the medium is back; nothing is passed over and
// the tree does not end.
struct MediumCase {
    const char* name;
    int sub;
    int repeat;
    bool heardOut;  // the file playing as the medium goes plays out (it was read ahead)
    Files after;    // what plays once the medium is back
};

class MediumGone : public PlayerFixture, public ::testing::WithParamInterface<MediumCase> {};

TEST_P(MediumGone, TheSequenceWaitsAtTheFileItHadReachedAndKeepsItsPlace)
{
    const MediumCase c = GetParam();
    makeTree(fs);
    options("/m", c.sub, c.repeat);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.Timer1_Timer(); // b
    mm.positionNow = 5.0;
    player.Timer1_Timer();
    fs.remove("/m");
    mm.positionNow = -1.0;
    mm.finish(c.heardOut ? MMControl::NotifySuccessful : MMControl::NotifyFailure);
    const std::string reached = c.heardOut ? "/m/c.mp3" : "/m/b.mp3";

    tickAndHear(player, mm, fs, 200);
    EXPECT_EQ(player.PlayOn, 1);
    expectSet(ctl, Set::Playing);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(player.waitsForPlayPath());
    ASSERT_TRUE(player.place().stored());
    EXPECT_EQ(player.place().stored()->file, reached) << "the place survives the medium's absence";
    EXPECT_EQ(player.place().stored()->positionMs, c.heardOut ? 0 : 5000);
    const auto opened = mm.opened().size();
    EXPECT_EQ(opened, c.heardOut ? 3u : 2u) << "nothing is tried while the medium is away";

    makeTree(fs);
    tickAndHear(player, mm, fs, 20, opened + 1);
    ASSERT_EQ(mm.opened().size(), opened + 1) << "plays on within four seconds of the medium";
    EXPECT_FALSE(player.waitsForPlayPath());
    EXPECT_EQ(mm.starts().back(), c.heardOut ? "none" : "3000");
    tickAndHear(player, mm, fs, 200, opened + c.after.size());
    const Files all = mm.opened();
    Files heard(all.begin() + static_cast<std::ptrdiff_t>(opened), all.end());
    heard.resize(std::min(heard.size(), c.after.size()));
    EXPECT_EQ(heard, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Arrangements, MediumGone,
    ::testing::Values(
        MediumCase{"TreeFileFails", 1, 0, false, {"/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3"}},
        MediumCase{"TreeNextFails", 1, 0, true, {"/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3"}},
        MediumCase{"FolderFileFails", 0, 0, false, {"/m/b.mp3", "/m/c.mp3"}},
        MediumCase{"RepeatedTreeMidRound", 1, 1, true, {"/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3",
                                                        "/m/a.mp3"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The last file of a folder plays out as the medium goes: the next folder
// cannot be read, but it is not passed over, nor does the tree end; once the
// medium is back the sequence goes on with that folder.
TEST_F(Sequencer, AFolderThatCannotBeReadWhileItsMediumIsAwayWaitsForIt)
{
    makeTree(fs);
    options("/m", 1, 0);
    player.cmdPlay_Click();
    for (int i = 0; i < 3; ++i) {
        player.Timer1_Timer();
        mm.finish();
    }
    ASSERT_EQ(mm.opened().back(), "/m/c.mp3");
    fs.remove("/m");
    tickAndHear(player, mm, fs, 100);
    EXPECT_EQ(player.PlayOn, 1);
    EXPECT_TRUE(player.waitsForPlayPath());
    ASSERT_TRUE(player.place().stored());
    EXPECT_EQ(player.place().stored()->file, "/m/c.mp3");
    const auto opened = mm.opened().size();
    makeTree(fs);
    tickAndHear(player, mm, fs, 100, opened + 3);
    const Files all = mm.opened();
    EXPECT_EQ(Files(all.begin() + static_cast<std::ptrdiff_t>(opened), all.end()),
              (Files{"/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3"}));
}

// A repeated tree with nothing to play waits, in ticks, for the larger of a
// share of the folders it looked at and twenty times as long as its looking
// took, so that a system where each listing is dear still spends little on it.
struct HoldCase {
    int folders;
    int lookCostMs;
    bool playedFirst = false; // a round played music before the tree was emptied
};

class PassHold : public PlayerFixture, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(PassHold, TheWaitAfterAPassThatPlayedNothingFollowsWhatItsLookingCost)
{
    using namespace std::chrono;
    const HoldCase c = GetParam();
    for (int i = 0; i < c.folders; ++i)
        fs.addFolder("/t/f" + std::to_string(i));
    fs.clock = &ui.now;
    fs.callCost = milliseconds(c.lookCostMs);
    options("/t", 1, 1);
    if (c.playedFirst)
        fs.addFile("/t/f0/x.mp3");
    player.cmdPlay_Click();
    if (c.playedFirst) {
        player.Timer1_Timer();
        mm.finish();
        fs.remove("/t/f0/x.mp3");
    }
    std::vector<int> walkTicks;
    std::vector<steady_clock::time_point> walkTimes;
    for (int tick = 0; tick < 3000 && walkTicks.size() < 3; ++tick) {
        const auto listed = fs.listings.size();
        player.Timer1_Timer();
        if (std::find(fs.listings.begin() + static_cast<std::ptrdiff_t>(listed), fs.listings.end(), "/t")
            != fs.listings.end()) {
            walkTicks.push_back(tick);
            walkTimes.push_back(ui.now);
        }
    }
    ASSERT_EQ(walkTicks.size(), 3u) << "the tree is walked again";
    EXPECT_EQ(mm.opened().size(), c.playedFirst ? 1u : 0u);
    const auto waited = milliseconds(250) * (walkTicks[2] - walkTicks[1]);
    // Between two walks: one pass's looking, and the check of the play path
    // that begins the next.
    const auto looked = walkTimes[2] - walkTimes[1] - fs.callCost;
    const auto byCount = milliseconds(250) * (1 + 2 * c.folders / 256);
    EXPECT_GE(waited, 20 * looked);
    EXPECT_GE(waited, byCount);
    EXPECT_LE(waited, std::max<steady_clock::duration>(20 * looked, byCount) + milliseconds(750))
        << "no longer than needed";
    expectSet(ctl, Set::Playing);
}

INSTANTIATE_TEST_SUITE_P(Trees, PassHold,
                         ::testing::Values(HoldCase{1, 0}, HoldCase{1, 10}, HoldCase{1000, 0},
                                           HoldCase{200, 2}, HoldCase{20, 40}, HoldCase{1, 10, true}));

// The sound device goes away (or there is none): the file that was playing
// is not passed over but tried again, less and less often while the device
// stays away and never more than four seconds apart; once the device is
// back, it plays on from a little before where it was, and everything after
// it follows from its beginning, as if nothing had happened.
struct DeviceCase {
    int sub;
    int repeat;
    Files after; // what plays once the device is back
};

class DeviceGone : public PlayerFixture, public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(DeviceGone, TheSequenceKeepsItsPlaceAndTriesLessOftenUntilTheDeviceIsBack)
{
    const DeviceCase c = GetParam();
    makeTree(fs);
    options("/m", c.sub, c.repeat);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.Timer1_Timer(); // b, as the device goes
    mm.positionNow = 30.0;
    player.Timer1_Timer();
    mm.positionNow = -1.0; // the control has closed by the time it says why
    mm.finish(MMControl::NotifyNoDevice);

    std::vector<int> tries;
    for (int tick = 0; tick < 300 && tries.size() < 9; ++tick) {
        const auto before = mm.opened().size();
        player.Timer1_Timer();
        if (mm.opened().size() > before) {
            tries.push_back(tick);
            EXPECT_EQ(mm.opened().back(), "/m/b.mp3");
            EXPECT_EQ(mm.starts().back(), "28000") << "try " << tries.size();
            mm.positionNow = 26.5; // a try that got no further than its start
            mm.finish(MMControl::NotifyNoDevice);
            mm.positionNow = -1.0;
        }
        EXPECT_TRUE(player.waitsForDevice());
        expectSet(ctl, Set::Playing);
    }
    ASSERT_EQ(tries.size(), 9u);
    for (std::size_t k = 2; k < tries.size(); ++k) {
        EXPECT_GE(tries[k] - tries[k - 1], tries[k - 1] - (k > 1 ? tries[k - 2] : 0)) << "try " << k;
        EXPECT_LE(tries[k] - tries[k - 1], 16) << "try " << k;
    }
    EXPECT_GE(tries.back() - tries[tries.size() - 2], 8) << "the tries thin out";

    const auto opened = mm.opened().size();
    const Files all = playThrough(static_cast<int>(c.after.size()) * 2 + 20);
    Files heard(all.begin() + static_cast<std::ptrdiff_t>(opened), all.end());
    heard.resize(std::min(heard.size(), c.after.size()));
    EXPECT_EQ(heard, c.after);
    const Files starts = mm.starts();
    Files startsAfter(starts.begin() + static_cast<std::ptrdiff_t>(opened),
                      starts.begin() + static_cast<std::ptrdiff_t>(opened + heard.size()));
    Files expected(c.after.size(), "none");
    expected[0] = "28000";
    EXPECT_EQ(startsAfter, expected);
    EXPECT_FALSE(player.waitsForDevice());
    player.cmdStop_Click();
    expectSet(ctl, Set::Idle);
}

INSTANTIATE_TEST_SUITE_P(
    Arrangements, DeviceGone,
    ::testing::Values(DeviceCase{1, 0, {"/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3"}},
                      DeviceCase{0, 1, {"/m/b.mp3", "/m/c.mp3", "/m/a.mp3", "/m/b.mp3"}},
                      DeviceCase{1, 1, {"/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3",
                                        "/m/a.mp3"}}));

// What the user does while a file waits for its sound device: Skip goes on
// to the next file at once (which then waits in its turn), Pause holds the
// tries until Play, Stop ends the sequence, and the program's end keeps the
// place reached, not where the last try started.
struct WaitCase {
    const char* name;
    std::string lost;                 // the file heard when the device goes
    std::function<void(Player&)> act; // what the user does meanwhile
    std::string next;                 // the next file opened; empty: none
    std::string startAt;              // where it starts; "none": its beginning
    int within;                       // ticks it takes at most
    bool playing;                     // the playing arrangement, else idle
};

class DeviceWait : public PlayerFixture, public ::testing::WithParamInterface<WaitCase> {
protected:
    // Ticks until the file that waits has been tried this many times more,
    // each try failing for want of a device.
    void tickAndHearNoDevice(int tries)
    {
        for (int tick = 0; tick < 100 && tries > 0; ++tick) {
            const auto opened = mm.opened().size();
            player.Timer1_Timer();
            if (mm.opened().size() > opened) {
                mm.finish(MMControl::NotifyNoDevice);
                --tries;
            }
        }
        ASSERT_EQ(tries, 0);
    }
};

TEST_P(DeviceWait, TheUsersCommandsActOnTheFileThatWaits)
{
    const WaitCase& c = GetParam();
    makeTree(fs);
    options("/m", 1, 0);
    player.cmdPlay_Click();
    while (mm.opened().empty() || mm.opened().back() != c.lost) {
        ASSERT_LT(mm.opened().size(), 5u);
        if (!mm.opened().empty())
            mm.finish();
        player.Timer1_Timer();
    }
    mm.positionNow = 30.0;
    player.Timer1_Timer();
    mm.positionNow = -1.0;
    mm.finish(MMControl::NotifyNoDevice);
    // Tried again and failed again, so that the wait has grown.
    tickAndHearNoDevice(3);

    const auto before = mm.opened().size();
    c.act(player);
    EXPECT_EQ(mm.opened().size(), before) << "nothing opened by the command itself";
    if (c.playing) {
        ASSERT_TRUE(player.place().stored());
        EXPECT_EQ(player.place().stored()->positionMs, 30000);
    }
    int ticks = 0;
    while (ticks < 40 && mm.opened().size() == before) {
        player.Timer1_Timer();
        ++ticks;
    }
    EXPECT_EQ(mm.opened().size() > before ? mm.opened().back() : "", c.next);
    if (!c.next.empty()) {
        EXPECT_LE(ticks, c.within);
        EXPECT_EQ(mm.starts().back(), c.startAt);
    }
    expectSet(ctl, c.playing ? Set::Playing : Set::Idle);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, DeviceWait,
    ::testing::Values(
        WaitCase{"SkipTriesTheNextFileAtOnce", "/m/b.mp3", [](Player& p) { p.cmdSkip_Click(); }, "/m/c.mp3", "none",
                 1, true},
        WaitCase{"SkipOnAFoldersLastFileGoesToTheNextFolder", "/m/c.mp3", [](Player& p) { p.mnuSkip_Click(); },
                 "/m/A/x.mp3", "none", 2, true},
        WaitCase{"PauseHoldsTheTriesUntilPlay", "/m/b.mp3",
                 [](Player& p) {
                     p.cmdPause_Click();
                     for (int i = 0; i < 40; ++i)
                         p.Timer1_Timer();
                     p.cmdPlay_Click();
                 },
                 "/m/b.mp3", "28000", 1, true},
        WaitCase{"StopEndsTheWait", "/m/b.mp3", [](Player& p) { p.cmdStop_Click(); }, "", "none", 0, false},
        WaitCase{"ProgramEndKeepsThePlaceReached", "/m/b.mp3", [](Player& p) { p.place().programEnds(true); },
                 "/m/b.mp3", "28000", 16, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The last file of a repeated folder loses its device after the cursor has
// gone round: that file, not the first, is the one tried again.
TEST_F(Sequencer, DeviceLostOnTheLastFileOfARepeatedFolderTriesThatFile)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/b.mp3");
    options("/m", 0, 1);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    player.Timer1_Timer(); // b
    player.Timer1_Timer(); // the cursor goes round while b plays
    EXPECT_EQ(player.PlayIndex, 0);
    mm.finish(MMControl::NotifyNoDevice);
    tickAndHear(player, mm, fs, 10, 3);
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/b.mp3"}));
    tickAndHear(player, mm, fs, 10, 4);
    EXPECT_EQ(mm.opened().back(), "/m/a.mp3");
}

} // namespace
} // namespace orvane::test
