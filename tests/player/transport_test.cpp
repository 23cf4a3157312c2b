#include "player_fixture.h"

namespace orvane::test {
namespace {

using Transport = PlayerFixture;

TEST_F(Transport, StartsIdleAndAnyNumberOfStopsKeepsItSo)
{
    expectSet(ctl, Set::Idle);
    for (int i = 0; i < 3; ++i) {
        player.cmdStop_Click();
        expectSet(ctl, Set::Idle);
        EXPECT_EQ(player.PlayOn, 0);
        EXPECT_FALSE(player.Paused);
    }
    EXPECT_EQ(mm.commands(), (std::vector<std::string>{"Close", "Close", "Close"}));
}

TEST_F(Transport, PauseResumeSwitchOnlyTheTransportControls)
{
    fs.addFile("/m/a.mp3");
    options("/m", 0, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    expectSet(ctl, Set::Playing);
    mm.clear();

    player.cmdPause_Click();
    expectSet(ctl, Set::Paused);
    EXPECT_TRUE(player.Paused);
    for (int i = 0; i < 4; ++i)
        player.Timer1_Timer(); // ticks go on but open nothing while paused
    EXPECT_TRUE(mm.opened().empty());

    fs.remove("/m"); // resume never checks the play path
    player.cmdPlay_Click();
    expectSet(ctl, Set::Playing);
    EXPECT_FALSE(player.Paused);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(mm.commands(), (std::vector<std::string>{"pause", "pause"}));
}

TEST_F(Transport, StopWhilePausedMakesTheNextPlayANewStart)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/b.mp3");
    options("/m", 0, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    player.cmdPause_Click();
    player.cmdStop_Click();
    expectSet(ctl, Set::Idle);
    EXPECT_FALSE(player.Paused);
    EXPECT_EQ(player.PlayIndex, 0);
    EXPECT_EQ(player.List1.ListCount(), 0);
    EXPECT_TRUE(player.List2.empty());

    mm.clear();
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened(), (std::vector<std::string>{"/m/a.mp3"}));
    EXPECT_EQ(mm.commands().front(), "Close"); // a new start resets the control first
}

TEST_F(Transport, PauseBetweenTwoFilesHoldsTheNextUntilResume)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/b.mp3");
    options("/m", 0, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();           // a ends ...
    player.cmdPause_Click(); // ... and Pause comes before the next tick
    for (int i = 0; i < 3; ++i)
        player.Timer1_Timer();
    EXPECT_EQ(mm.opened(), (std::vector<std::string>{"/m/a.mp3"}));
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened(), (std::vector<std::string>{"/m/a.mp3", "/m/b.mp3"}));
    expectSet(ctl, Set::Playing);
}

TEST_F(Transport, SkipActsLikeTheControlsCompletion)
{
    player.DeviceReady = 0;
    player.cmdSkip_Click();
    EXPECT_EQ(player.DeviceReady, 1);
    player.DeviceReady = 0;
    mm.finish();
    EXPECT_EQ(player.DeviceReady, 1);
    EXPECT_EQ(mm.commands(), (std::vector<std::string>{"Close", "Close"}));
    expectSet(ctl, Set::Idle); // neither touches the controls
}

TEST_F(Transport, MenuTwinsLeaveTheSameStateAndAskForTheRightTrayImage)
{
    std::vector<std::string> refreshes;
    player.trayRefresh = [&](const std::string& image) { refreshes.push_back(image); };
    fs.addFile("/m/a.mp3");
    options("/m", 0, 0);

    player.mnuPlay_Click();
    player.Timer1_Timer();
    expectSet(ctl, Set::Playing);
    player.mnuSkip_Click();
    EXPECT_EQ(player.DeviceReady, 1);
    player.mnuPause_Click();
    expectSet(ctl, Set::Paused);
    player.mnuPlay_Click();
    expectSet(ctl, Set::Playing);
    player.mnuStop_Click();
    expectSet(ctl, Set::Idle);
    EXPECT_EQ(refreshes, (std::vector<std::string>{TrayImagePlaying, TrayImagePaused,
                                                   TrayImagePlaying, TrayImagePlaying}));
}

TEST_F(Transport, ListenerSeesEveryChangeAsItHappens)
{
    std::vector<std::string> changes;
    ctl.changes().connect([&](Ctl c) { changes.push_back(std::string(ctlName(c)) + (ctl.enabled(c) ? "+" : "-")); });
    fs.addFile("/m/a.mp3");
    options("/m", 0, 0);
    changes.clear();
    player.cmdPlay_Click();
    player.cmdPause_Click();
    EXPECT_EQ(changes, (std::vector<std::string>{
                           "cmdPause+", "mnuPause+", "mnuPlay-", "cmdPlay-", "ckRepeat-", "ckSub-",
                           "optDate-", "optName-", "cmdPath-", "Text1-", "cmdSkip+", "mnuSkip+",
                           "Timer1+",
                           "cmdPause-", "mnuPause-", "mnuPlay+", "cmdPlay+", "cmdSkip-", "mnuSkip-"}));
}

TEST_F(Transport, ResumeAndStopSwitchTheirControlsInOrder)
{
    std::vector<std::string> changes;
    ctl.changes().connect([&](Ctl c) { changes.push_back(std::string(ctlName(c)) + (ctl.enabled(c) ? "+" : "-")); });
    fs.addFile("/m/a.mp3");
    options("/m", 0, 0);
    player.cmdPlay_Click();
    player.cmdPause_Click();
    changes.clear();
    player.cmdPlay_Click();
    player.cmdStop_Click();
    EXPECT_EQ(changes, (std::vector<std::string>{
                           "cmdPause+", "mnuPause+", "mnuPlay-", "cmdPlay-", "cmdSkip+", "mnuSkip+",
                           "Timer1-",
                           "cmdPause-", "mnuPause-", "mnuPlay+", "cmdPlay+", "ckRepeat+", "ckSub+",
                           "optDate+", "optName+", "cmdPath+", "Text1+", "cmdSkip-", "mnuSkip-"}));

    // From the paused arrangement Stop has only the timer and the options left to switch.
    player.cmdPlay_Click();
    player.cmdPause_Click();
    changes.clear();
    player.cmdStop_Click();
    EXPECT_EQ(changes, (std::vector<std::string>{"Timer1-", "ckRepeat+", "ckSub+", "optDate+", "optName+",
                                                 "cmdPath+", "Text1+"}));
    expectSet(ctl, Set::Idle);
}

// Every listener hears every change: the window that mirrors the controls and
// whatever else listens (the desktop's media controls) do not displace each
// other, and one may leave during a change without the others missing it.
TEST_F(Transport, EveryListenerHearsEachChangeAndMayLeaveDuringIt)
{
    std::vector<std::string> heard;
    Signal<Ctl>::Handle second = 0;
    const Signal<Ctl>::Handle first = ctl.changes().connect([&](Ctl c) {
        heard.push_back(std::string("1:") + ctlName(c));
    });
    second = ctl.changes().connect([&](Ctl c) {
        heard.push_back(std::string("2:") + ctlName(c));
        ctl.changes().disconnect(second); // leaves during its own call
    });
    const Signal<Ctl>::Handle third = ctl.changes().connect([&](Ctl c) {
        heard.push_back(std::string("3:") + ctlName(c));
        ctl.changes().disconnect(first); // and one earlier in the round
    });
    ctl.setCkSub(1);
    ctl.setCkRepeat(1);
    ctl.setOptDate(true);
    // (Shuffle Folders can be chosen as Subdirectories is checked.)
    EXPECT_EQ(heard, (std::vector<std::string>{"1:ckSub", "2:ckSub", "3:ckSub", "3:mnuShuffle", "3:ckRepeat",
                                               "3:optDate"}));

    // One taken off before its turn in a round is not called in it.
    heard.clear();
    Signal<Ctl>::Handle last = 0;
    ctl.changes().connect([&](Ctl) { ctl.changes().disconnect(last); });
    last = ctl.changes().connect([&](Ctl c) { heard.push_back(std::string("4:") + ctlName(c)); });
    ctl.changes().disconnect(third);
    ctl.setCkSub(0);
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(ctl.changes().listeners(), 1u);
}

// The file heard is the player's own account: the path it sent with "Open" and
// "Play", held through a pause and while the cursor moves on, gone at the
// file's completion, a Skip or Stop; every change is told to each listener,
// and so is each change the control reports of its own (the file's tags).
TEST_F(Transport, ThePlayerTellsWhichFileIsHeard)
{
    fs.addFile("/m/a.mp3");
    fs.addFile("/m/b.mp3");
    options("/m", 0, 0);
    std::vector<std::string> told, toldToo;
    player.nowPlayingChanged().connect([&] { told.push_back(player.playing()); });
    player.nowPlayingChanged().connect([&] { toldToo.push_back(player.playing()); });

    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(player.playing(), "/m/a.mp3");
    player.Timer1_Timer(); // the cursor stands on b.mp3 now
    EXPECT_EQ(player.NextFile, "/m/b.mp3");
    EXPECT_EQ(player.playing(), "/m/a.mp3");
    player.cmdPause_Click();
    EXPECT_EQ(player.playing(), "/m/a.mp3") << "paused: still the file heard";
    player.cmdPlay_Click();
    mm.learnTags();

    player.cmdSkip_Click();
    EXPECT_EQ(player.playing(), "");
    player.Timer1_Timer();
    EXPECT_EQ(player.playing(), "/m/b.mp3");
    player.cmdStop_Click();
    EXPECT_EQ(player.playing(), "");
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(player.playing(), "/m/a.mp3") << "a new start";
    mm.finish();
    EXPECT_EQ(player.playing(), "");

    const std::vector<std::string> expected = {"/m/a.mp3", "/m/a.mp3", "", "/m/b.mp3", "", "/m/a.mp3", ""};
    EXPECT_EQ(told, expected);
    EXPECT_EQ(toldToo, expected);

    // A player that goes leaves nothing listening to the control, which may
    // outlive it.
    FakeMMControl outliving;
    SlowFileService outlivingFiles(fs);
    std::make_unique<Player>(outliving, outlivingFiles, ui).reset();
    EXPECT_EQ(outliving.nowPlayingChanged().listeners(), 0u);
    EXPECT_EQ(outlivingFiles.answered().listeners(), 0u);
    outliving.finish(); // a file it ends later reaches no player
    EXPECT_TRUE(outliving.commands().empty());
}

} // namespace
} // namespace orvane::test
