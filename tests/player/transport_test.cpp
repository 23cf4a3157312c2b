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
    ctl.setListener([&](Ctl c) { changes.push_back(std::string(ctlName(c)) + (ctl.enabled(c) ? "+" : "-")); });
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
    ctl.setListener([&](Ctl c) { changes.push_back(std::string(ctlName(c)) + (ctl.enabled(c) ? "+" : "-")); });
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

} // namespace
} // namespace orvane::test
