// The player end to end on the real libmpv control and a real folder tree:
// which files play, in which order, for each combination of Subdirectories
// and Repeat All.
#include "mpv_player_fixture.h"

#include <QTimer>

namespace orvane::test {
namespace {

class Playthrough : public MpvPlayerFixture {
protected:
    void SetUp() override
    {
        for (const char* rel : {"b.mp3", "a.mp3", "Sub/c.mp3", "Sub/Deep/d.mp3", "Other/e.mp3"})
            music(rel);
        tree.makeFolder("Empty");
        tree.makeFile("notes.txt", "not music");
    }

    Files play(int sub, int repeat, std::size_t limit = 100)
    {
        options(tree.path(), sub, repeat);
        return playAll(limit);
    }
};

TEST_F(Playthrough, PlayPathOnlyPlaysItsFilesOnceThenStops)
{
    EXPECT_EQ(play(0, 0), (Files{at("a.mp3"), at("b.mp3")}));
    EXPECT_TRUE(ended);
}

TEST_F(Playthrough, SingleFolderRepeatGoesRoundThePlayPath)
{
    EXPECT_EQ(play(0, 1, 5), (Files{at("a.mp3"), at("b.mp3"), at("a.mp3"), at("b.mp3"), at("a.mp3")}));
}

TEST_F(Playthrough, SubdirectoriesPlayEveryFolderInPathOrderThenStop)
{
    EXPECT_EQ(play(1, 0), (Files{at("a.mp3"), at("b.mp3"), at("Other/e.mp3"), at("Sub/c.mp3"),
                                 at("Sub/Deep/d.mp3")}));
    EXPECT_TRUE(ended);
}

TEST_F(Playthrough, TreeRepeatStartsOverWithThePlayPath)
{
    EXPECT_EQ(play(1, 1, 7), (Files{at("a.mp3"), at("b.mp3"), at("Other/e.mp3"), at("Sub/c.mp3"),
                                    at("Sub/Deep/d.mp3"), at("a.mp3"), at("b.mp3")}));
}

TEST_F(Playthrough, PausedFilePlaysOnAfterTicksAndTheNextFollowsItsEnd)
{
    music("Held/one.mp3", 0.5);
    music("Held/two.mp3");
    options(at("Held"), 0, 0);
    player.cmdPlay_Click();
    // Pause as soon as the tick has started the file, before mpv is heard from.
    ui.atNextYield = [&] { player.cmdPause_Click(); };
    player.Timer1_Timer();
    ASSERT_TRUE(player.Paused);
    for (int i = 0; i < 6; ++i) {
        player.Timer1_Timer();
        orvane::testing::spinFor(60); // untimed output: a running file would be over
    }
    EXPECT_EQ(player.DeviceReady, 0) << "the paused file has not ended";
    EXPECT_EQ(mpv.openedPaths(), (Files{at("Held/one.mp3")}));

    player.cmdPlay_Click(); // resume
    ASSERT_TRUE(orvane::testing::spinUntil([&] { return player.DeviceReady == 1; }))
        << "the resumed file ends by itself";
    EXPECT_EQ(mpv.openedPaths(), (Files{at("Held/one.mp3")})) << "resumed, not started again";
    step();
    EXPECT_EQ(mpv.openedPaths(), (Files{at("Held/one.mp3"), at("Held/two.mp3")}));
    step(); // the list's end: the sequence stops
    EXPECT_FALSE(player.controls().enabled(Ctl::Timer1));
}

TEST_F(Playthrough, DateOrderFollowsCreationWithinEachFolder)
{
    // Birth times cannot be set, so the files are made one after another.
    for (const char* rel : {"Dated/z.mp3", "Dated/x.mp3", "Dated/y.mp3"}) {
        music(rel);
        orvane::testing::spinFor(20);
    }
    options(at("Dated"), 0, 0, true);
    EXPECT_EQ(playAll(), (Files{at("Dated/z.mp3"), at("Dated/x.mp3"), at("Dated/y.mp3")}));
}

// Passes everything on to the real control and counts the files that were
// already sounding when the player opened them.
class TakeoverCounter : public MMControl {
public:
    explicit TakeoverCounter(MpvControl& real) : real_(real)
    {
        real_.setDoneHandler([this](int code) { raiseDone(code); });
    }
    void setCommand(const std::string& command) override
    {
        if (command == "Play" && real_.nextFile() == MpvControl::NextFile::Started)
            ++takeovers;
        real_.setCommand(command);
    }
    void setFileName(const std::string& path) override { real_.setFileName(path); }
    void setNotify(bool on) override { real_.setNotify(on); }
    void setWait(bool on) override { real_.setWait(on); }
    void setShareable(bool on) override { real_.setShareable(on); }
    void setNextFileName(const std::string& path) override { real_.setNextFileName(path); }

    int takeovers = 0;

private:
    MpvControl& real_;
};

// The player in real time, ticking as the window does: Timer1 every 250 ms
// and the ticks the player asks for between them.
class GaplessPlaythrough : public ::testing::Test {
protected:
    GaplessPlaythrough()
    {
        timer.setInterval(Timer1IntervalMs);
        QObject::connect(&timer, &QTimer::timeout, [this] { player.Timer1_Timer(); });
        ui.setTickHandler([this] {
            if (timer.isActive())
                player.Timer1_Timer();
        });
    }

    TempTree tree;
    MpvControl mpv{MpvControl::Output::NullTimed};
    TakeoverCounter control{mpv};
    std::unique_ptr<FileSystem> fs = makeNativeFileSystem();
    RecordingQtUi ui;
    Player player{control, *fs, ui};
    ControlModel& c = player.controls();
    QTimer timer;
};

// Every file after the first follows the one before without a gap, within a
// folder and across a folder change.
TEST_F(GaplessPlaythrough, EveryFileFollowsTheOneBeforeInOrderOnce)
{
    for (const char* rel : {"A/1.mp3", "A/2.mp3", "B/3.mp3"})
        tree.makeFile(rel, orvane::testing::sineMp3(1.2));
    c.setText1(tree.path());
    c.setCkSub(1);
    c.setOptName(true);
    player.cmdPlay_Click();
    timer.start();
    EXPECT_TRUE(orvane::testing::spinUntil([&] { return !c.enabled(Ctl::Timer1); }, 20000));
    timer.stop();

    EXPECT_EQ(mpv.openedPaths(), (std::vector<std::string>{tree.path("A/1.mp3"), tree.path("A/2.mp3"), tree.path("B/3.mp3")}));
    EXPECT_EQ(control.takeovers, 2);
    EXPECT_EQ(mpv.nextFile(), MpvControl::NextFile::None);

    // With Repeat All the tree's end leads back to its first file, through a
    // Stop and a new start, as gaplessly.
    c.setCkRepeat(1);
    control.takeovers = 0;
    tree.remove("A/2.mp3");
    const std::size_t before = mpv.openedPaths().size();
    player.cmdPlay_Click();
    timer.start();
    EXPECT_TRUE(orvane::testing::spinUntil([&] { return mpv.openedPaths().size() >= before + 3; }, 20000));
    player.cmdStop_Click();
    timer.stop();
    EXPECT_EQ(std::vector<std::string>(mpv.openedPaths().begin() + static_cast<std::ptrdiff_t>(before), mpv.openedPaths().end()),
              (std::vector<std::string>{tree.path("A/1.mp3"), tree.path("B/3.mp3"), tree.path("A/1.mp3")}));
    EXPECT_EQ(control.takeovers, 2);
}

// Files shorter than what the output holds: mpv must not have decoded all of
// one before the player names the file after it. Once each file of the
// repeated folder has been seen to play, every file follows without a gap.
TEST_F(GaplessPlaythrough, ShortFilesFollowWithoutGapOnceSeenToPlay)
{
    for (const char* rel : {"1.mp3", "2.mp3", "3.mp3"})
        tree.makeFile(rel, orvane::testing::sineMp3(0.3));
    c.setText1(tree.path());
    c.setCkRepeat(1);
    c.setOptName(true);
    player.cmdPlay_Click();
    timer.start();
    ASSERT_TRUE(orvane::testing::spinUntil([&] { return mpv.openedPaths().size() >= 3; }, 20000));
    const int firstPass = control.takeovers;
    ASSERT_TRUE(orvane::testing::spinUntil([&] { return mpv.openedPaths().size() >= 7; }, 20000));
    player.cmdStop_Click();
    timer.stop();
    EXPECT_EQ(control.takeovers - firstPass, 4);
    EXPECT_EQ(mpv.openedPaths()[6], tree.path("1.mp3"));
}

} // namespace
} // namespace orvane::test
