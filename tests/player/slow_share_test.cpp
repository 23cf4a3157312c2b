#include "player_fixture.h"

#include <algorithm>
#include <functional>

namespace orvane::test {
namespace {

using Files = std::vector<std::string>;

// root a, b; A (x), A/X (y); B (z); an empty folder E; an unreadable U (u);
// dates that turn the name order round.
void makeTree(FakeFileSystem& fs)
{
    fs.addFile("/m/b.mp3", 1);
    fs.addFile("/m/a.mp3", 2);
    fs.addFile("/m/B/z.mp3", 3);
    fs.addFolder("/m/E");
    fs.addFile("/m/A/X/y.mp3", 4);
    fs.addFile("/m/A/x.mp3", 5);
    fs.addFile("/m/U/u.mp3", 6);
    fs.makeUnreadable("/m/U");
}

// A player whose file system answers only when the test says so.
class SlowShare : public PlayerFixture {
protected:
    SlowFileService files{fs};
    Player slow{mm, files, ui};
    ControlModel& sctl = slow.controls();

    void play(const std::string& path, int sub, int repeat, bool byDate = false)
    {
        makeTree(fs);
        setOptions(sctl, path, sub, repeat, byDate);
        slow.cmdPlay_Click();
    }

    // As playThrough, but the share answers only between ticks: each tick
    // finds the answers to what the one before asked for.
    Files playSlowly(int maxTicks, int ticksPerFile = 2)
    {
        std::size_t seen = mm.opened().size();
        int ticksLeft = 0;
        for (int i = 0; i < maxTicks && (sctl.enabled(Ctl::Timer1) || slow.startWaits()); ++i) {
            files.answer();
            slow.Timer1_Timer();
            if (mm.opened().size() > seen) {
                seen = mm.opened().size();
                ticksLeft = ticksPerFile;
            }
            if (ticksLeft > 0 && --ticksLeft == 0)
                mm.finish();
        }
        return mm.opened();
    }

    // Starts playing and plays the first file, with every answer in.
    void playFirst(const std::string& path, int sub, int repeat)
    {
        play(path, sub, repeat);
        files.answerAll();
        slow.Timer1_Timer();
        files.answerAll();
        ASSERT_EQ(mm.opened().size(), 1u);
    }
};

struct OrderCase {
    int sub;
    int repeat;
    bool byDate;
    int ticksPerFile;
};

class SlowShareOrder : public SlowShare, public ::testing::WithParamInterface<OrderCase> {};

// What plays, and in which order, is what the same tree plays when every
// call answers at once.
TEST_P(SlowShareOrder, PlaysWhatAnAnsweringShareWouldInTheSameOrder)
{
    const OrderCase c = GetParam();
    FakeFileSystem quickFs;
    FakeMMControl quickMm;
    FakeUi quickUi;
    Player quick{quickMm, quickFs, quickUi};
    makeTree(quickFs);
    setOptions(quick.controls(), "/m", c.sub, c.repeat, c.byDate);
    quick.cmdPlay_Click();
    for (int i = 0; i < 200 && quick.controls().enabled(Ctl::Timer1); ++i) {
        const std::size_t before = quickMm.opened().size();
        quick.Timer1_Timer();
        if (quickMm.opened().size() > before)
            quickMm.finish();
    }
    const Files expected = quickMm.opened();

    play("/m", c.sub, c.repeat, c.byDate);
    EXPECT_TRUE(slow.startWaits());
    const Files played = playSlowly(800, c.ticksPerFile);

    ASSERT_GE(played.size(), c.repeat ? 12u : 1u);
    const std::size_t n = std::min(played.size(), expected.size());
    EXPECT_EQ(Files(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(n)),
              Files(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(n)));
    if (!c.repeat) {
        EXPECT_EQ(played, expected);
        expectSet(sctl, Set::Idle);
    }
}

INSTANTIATE_TEST_SUITE_P(Options, SlowShareOrder,
                         ::testing::Values(OrderCase{0, 0, false, 1}, OrderCase{0, 1, false, 2},
                                           OrderCase{1, 0, false, 1}, OrderCase{1, 0, true, 3},
                                           OrderCase{1, 1, false, 1}, OrderCase{1, 1, true, 2}));

TEST_F(SlowShare, PlayWaitsWithTheHourglassWithoutTouchingTheControl)
{
    play("/m", 1, 0);
    EXPECT_TRUE(slow.startWaits());
    EXPECT_EQ(ui.pointers, (std::vector<int>{UiHost::PointerHourglass}));
    EXPECT_TRUE(mm.log.empty());
    EXPECT_EQ(ui.yields, 0) << "the handler returned at once";
    expectSet(sctl, Set::Idle);

    files.answerAll();
    EXPECT_FALSE(slow.startWaits());
    expectSet(sctl, Set::Playing);
    EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault);

    // So does a second Play made in the yields of the start that waited.
    slow.cmdStop_Click();
    slow.cmdPlay_Click();
    ui.atYield(1, [this] { slow.cmdPlay_Click(); });
    files.answer();
    EXPECT_TRUE(slow.startWaits());
    expectSet(sctl, Set::Idle);
    files.answerAll();
    expectSet(sctl, Set::Playing);

    // A play path found missing once the answers come: the box, and no
    // hourglass left behind.
    slow.cmdStop_Click();
    sctl.setText1("/m/none");
    slow.cmdPlay_Click();
    files.answerAll();
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault);
}

// What each handler does while the sequence waits for the share.
struct PendingCase {
    const char* name;
    const char* waitingFor; // "start": Play on a share gone; "folder": the next folder
    std::function<void(Player&, SlowFileService&)> act;
    std::function<void(SlowShare&, Player&, SlowFileService&, FakeMMControl&)> expect;
};

class SlowShareHandlers : public SlowShare, public ::testing::WithParamInterface<PendingCase> {
public:
    static void expectIdle(const ControlModel& c) { expectSet(c, Set::Idle); }
    static void expectPlaying(const ControlModel& c) { expectSet(c, Set::Playing); }
    static void expectPaused(const ControlModel& c) { expectSet(c, Set::Paused); }
};

TEST_P(SlowShareHandlers, ActAtOnceAndLateAnswersFollowThem)
{
    const PendingCase& c = GetParam();
    if (std::string(c.waitingFor) == "start") {
        files.goAway("/m");
        play("/m", 1, 0);
        ASSERT_TRUE(slow.startWaits());
    } else {
        files.goAway("/m/B");
        play("/m", 1, 0);
        for (int i = 0; i < 30; ++i) { // each file ends before the next tick; B does not answer
            files.answerAll();
            const std::size_t before = mm.opened().size();
            slow.Timer1_Timer();
            if (mm.opened().size() > before)
                mm.finish();
        }
        ASSERT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3"}));
        expectPlaying(sctl); // the sequence waits in the playing arrangement
    }
    c.act(slow, files);
    c.expect(*this, slow, files, mm);
    EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault) << "no hourglass left";
}

const PendingCase PendingCases[] = {
    {"StopEndsAWaitingStart", "start", [](Player& p, SlowFileService&) { p.cmdStop_Click(); },
     [](SlowShare&, Player& p, SlowFileService& f, FakeMMControl& mm) {
         EXPECT_FALSE(p.startWaits());
         SlowShareHandlers::expectIdle(p.controls());
         f.comeBack();
         f.answerAll();
         EXPECT_FALSE(p.startWaits());
         EXPECT_EQ(p.PlayOn, 0) << "the late answer starts nothing";
         EXPECT_TRUE(mm.opened().empty());
     }},
    {"SecondPlayMakesOneStart", "start", [](Player& p, SlowFileService&) { p.cmdPlay_Click(); },
     [](SlowShare&, Player& p, SlowFileService& f, FakeMMControl& mm) {
         f.comeBack();
         f.answerAll();
         EXPECT_EQ(std::count(mm.log.begin(), mm.log.end(), "Notify=0"), 1) << "one start";
         p.Timer1_Timer();
         EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3"}));
         SlowShareHandlers::expectPlaying(p.controls());
     }},
    {"NewPathWhileWaitingIsThePathPlayed", "start",
     [](Player& p, SlowFileService&) {
         p.controls().setText1("/m/A");
         p.cmdPlay_Click();
     },
     [](SlowShare&, Player& p, SlowFileService& f, FakeMMControl& mm) {
         f.comeBack();
         f.answerAll();
         p.Timer1_Timer();
         EXPECT_EQ(mm.opened(), (Files{"/m/A/x.mp3"}));
     }},
    {"StopEndsTheWaitForTheNextFolder", "folder", [](Player& p, SlowFileService&) { p.cmdStop_Click(); },
     [](SlowShare&, Player& p, SlowFileService& f, FakeMMControl& mm) {
         SlowShareHandlers::expectIdle(p.controls());
         f.comeBack();
         f.answerAll();
         p.Timer1_Timer();
         EXPECT_EQ(mm.opened().size(), 4u) << "nothing after the Stop";
     }},
    {"PauseHoldsTheNextFileWhenTheFolderAnswers", "folder", [](Player& p, SlowFileService&) { p.cmdPause_Click(); },
     [](SlowShare&, Player& p, SlowFileService& f, FakeMMControl& mm) {
         SlowShareHandlers::expectPaused(p.controls());
         f.comeBack();
         f.answerAll();
         p.Timer1_Timer();
         EXPECT_EQ(mm.opened().size(), 4u) << "nothing starts while paused";
         p.cmdPlay_Click();
         p.Timer1_Timer();
         EXPECT_EQ(mm.opened().back(), "/m/B/z.mp3");
     }},
    {"TheShareComingBackGoesOnWhereItWas", "folder", [](Player&, SlowFileService& f) { f.comeBack(); },
     [](SlowShare&, Player& p, SlowFileService& f, FakeMMControl& mm) {
         f.answerAll();
         p.Timer1_Timer();
         EXPECT_EQ(mm.opened().back(), "/m/B/z.mp3");
         mm.finish();
         for (int i = 0; i < 10 && p.controls().enabled(Ctl::Timer1); ++i) {
             f.answerAll();
             p.Timer1_Timer();
         }
         EXPECT_EQ(mm.opened().size(), 5u) << "the empty and the unreadable folder play nothing";
         SlowShareHandlers::expectIdle(p.controls());
     }},
    {"WaitingTicksAskNothingMore", "folder", [](Player&, SlowFileService&) {},
     [](SlowShare&, Player& p, SlowFileService& f, FakeMMControl& mm) {
         const int asked = f.asked;
         for (int i = 0; i < 20; ++i)
             p.Timer1_Timer();
         EXPECT_EQ(f.asked, asked) << "the wait costs nothing: each call is asked once";
         EXPECT_EQ(mm.opened().size(), 4u);
     }},
};

INSTANTIATE_TEST_SUITE_P(WhilePending, SlowShareHandlers, ::testing::ValuesIn(PendingCases),
                         [](const auto& info) { return std::string(info.param.name); });

// While a file plays, what the next one needs is read ahead: when the file
// ends, the next folder's first file opens without a call to wait for.
TEST_F(SlowShare, TheNextFolderIsReadWhileTheFilePlays)
{
    playFirst("/m/A", 1, 0); // x, then A/X's y
    EXPECT_EQ(mm.nextFiles.back(), "/m/A/X/y.mp3") << "the hint waits for the answers, then comes";
    EXPECT_TRUE(files.out.empty());
    const int asked = files.asked;
    mm.finish();
    slow.Timer1_Timer(); // the folder has ended
    slow.Timer1_Timer();
    EXPECT_EQ(mm.opened().back(), "/m/A/X/y.mp3");
    EXPECT_EQ(files.asked, asked);

    // So does the hint of a file in a later folder of the walk.
    mm.clear();
    files.holdPath("/m/A/X");
    slow.cmdStop_Click();
    setOptions(sctl, "/m", 1, 0);
    slow.cmdPlay_Click();
    for (int i = 0; i < 12 && mm.opened().size() < 3; ++i) {
        files.answerAll();
        slow.Timer1_Timer();
        if (mm.opened().size() < 3)
            mm.finish();
    }
    ASSERT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/A/x.mp3"}));
    EXPECT_EQ(mm.nextFiles.back(), "");
    files.comeBack();
    files.answerAll();
    EXPECT_EQ(mm.nextFiles.back(), "/m/A/X/y.mp3");
    const std::size_t hints = mm.nextFiles.size();
    EXPECT_THROW(files.folderExists("/elsewhere"), FileAnswerPending);
    files.answerAll(); // an answer for someone else
    EXPECT_EQ(mm.nextFiles.size(), hints) << "the hint is given once";

    // Two folders with files are read ahead: with no answer more, the files
    // of both follow.
    mm.clear();
    slow.cmdStop_Click();
    slow.cmdPlay_Click();
    files.answerAll();
    slow.Timer1_Timer();
    files.answerAll();
    for (int i = 0; i < 8 && mm.opened().size() < 4; ++i) {
        mm.finish();
        slow.Timer1_Timer();
    }
    EXPECT_EQ(mm.opened(), (Files{"/m/a.mp3", "/m/b.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3"}));
}

// Answers that come while a tick runs are taken up once, as it ends: the
// ticks after it, with nothing more come in, ask for no tick of their own.
TEST_F(SlowShare, AnswersInATickAreTakenUpOnceAsItEnds)
{
    play("/m", 1, 0);
    files.answer(); // the start's reads; the walk's first listing is still out
    ui.atYield(1, [this] {
        files.answer();
        EXPECT_TRUE(files.out.empty()) << "not taken up inside the tick";
    });
    slow.Timer1_Timer(); // a, and that listing's answer in its yield
    ASSERT_EQ(mm.opened(), (Files{"/m/a.mp3"}));
    EXPECT_FALSE(files.out.empty()) << "taken up as the tick ended: the walk went on and asked for more";
    const int asked = ui.tickRequests;
    for (int i = 0; i < 3; ++i)
        slow.Timer1_Timer();
    EXPECT_EQ(ui.tickRequests, asked);

    // An answer between ticks asks for one at once, and the walk goes on with
    // each, past the folders the look-ahead needs.
    files.answer();
    EXPECT_EQ(ui.tickRequests, asked + 1);
    files.answerAll();
    EXPECT_EQ(slow.List1.ListCount(), 6);

    // So are those that come in a start's yields, a second Play's among them:
    // the first start, taken over, goes no further; the second goes on as the
    // first ends, once, and asks for one tick.
    slow.cmdStop_Click();
    const int before = ui.tickRequests;
    const auto starts = [this] { return std::count(mm.log.begin(), mm.log.end(), "Notify=0"); };
    const auto startsBefore = starts();
    slow.cmdPlay_Click();
    ui.atYield(1, [this] {
        slow.cmdPlay_Click();
        files.answerAll();
    });
    files.answer();
    EXPECT_FALSE(slow.startWaits());
    EXPECT_EQ(ui.tickRequests, before + 1);
    EXPECT_EQ(starts(), startsBefore + 2) << "the first start and the second";
    expectSet(sctl, Set::Playing);
}

// At the end of a repeated tree, the look-ahead reads the play path and the
// next round's first folders for that round, and the Stop and new start that
// begin it keep what it read: the round's first file opens, and the file after
// it is hinted, with no answer to wait for. Also where the play path is typed
// with a separator at its end, where the first files lie in a subfolder,
// where the second lies deeper in a later one, and where a file added during
// the round comes first in the next.
struct RoundCase {
    const char* name;
    const char* path;
    Files tree;                  // in play order
    const char* added = nullptr; // added as the round's first file plays
};

void PrintTo(const RoundCase& c, std::ostream* os)
{
    *os << c.name;
}

class SlowShareRound : public SlowShare, public ::testing::WithParamInterface<RoundCase> {};

TEST_P(SlowShareRound, TheNextRoundOfARepeatedTreeIsReadAhead)
{
    const RoundCase& c = GetParam();
    for (const std::string& file : c.tree)
        fs.addFile(file);
    setOptions(sctl, c.path, 1, 1);
    slow.cmdPlay_Click();
    // Plays with every answer in until the round's last file is open.
    const auto playRound = [&](std::size_t files) {
        for (int i = 0; i < 20 && mm.opened().size() < files; ++i) {
            const std::size_t before = mm.opened().size();
            this->files.answerAll();
            slow.Timer1_Timer();
            if (c.added && before == 0)
                fs.addFile(c.added);
            this->files.answerAll();
            if (mm.opened().size() > before && mm.opened().size() < files)
                mm.finish();
        }
    };
    playRound(c.tree.size());
    ASSERT_EQ(mm.opened(), c.tree);
    const std::string first = c.added ? c.added : c.tree[0];
    const std::string second = c.added ? c.tree[0] : c.tree[1];
    Files again = c.tree;
    for (int round = 2; round <= 3; ++round) { // each round's end reads the next afresh
        EXPECT_EQ(mm.nextFiles.back(), first) << round;
        mm.finish();
        for (int i = 0; i < 4 && mm.opened().size() <= again.size(); ++i)
            slow.Timer1_Timer(); // the round ends and the next begins, no answer given meanwhile
        again.push_back(first);
        EXPECT_EQ(mm.opened(), again);
        EXPECT_EQ(mm.nextFiles.back(), second) << round;
        expectSet(sctl, Set::Playing);
        again.insert(again.end(), c.tree.begin() + (c.added ? 0 : 1), c.tree.end());
        mm.finish();
        playRound(again.size());
    }
    EXPECT_EQ(files.askedWhileOut, 0) << "nothing read ahead is dropped and asked again";
}

INSTANTIATE_TEST_SUITE_P(
    PlayPaths, SlowShareRound,
    ::testing::Values(RoundCase{"AsFound", "/r", {"/r/a.mp3", "/r/S/b.mp3"}},
                      RoundCase{"WithSeparator", "/r/", {"/r/a.mp3", "/r/S/b.mp3"}},
                      RoundCase{"FirstFilesInASubfolder", "/r", {"/r/A/a1.mp3", "/r/A/a2.mp3", "/r/B/b.mp3"}},
                      RoundCase{"SecondFileDeeperOn", "/r", {"/r/A/a.mp3", "/r/B/C/c.mp3", "/r/D/d.mp3"}},
                      RoundCase{"AFileAddedMeanwhile", "/r", {"/r/A/a1.mp3", "/r/B/b.mp3"}, "/r/A/a0.mp3"}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder the look-ahead found failing (a share's brief hiccup) is read
// again when the sequence reaches it, in this round or in the next; and what
// a round read of a folder for itself is not taken for the next, which plays
// the file added meanwhile.
struct RetryCase {
    const char* name;
    const char* failing;  // the folder that cannot be read for a while
    const char* from;     // from this file's opening (nullptr: from the start)
    const char* until;    // to this file's opening (nullptr: until the look-ahead has read it)
    bool added;           // C/c2 added as C's file first plays
};

void PrintTo(const RetryCase& c, std::ostream* os)
{
    *os << c.name;
}

class SlowShareRetry : public SlowShare, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(SlowShareRetry, AFolderThatFailedWhenReadAheadIsReadAgainWhenReached)
{
    const RetryCase& c = GetParam();
    for (const char* file : {"/r/A/a.mp3", "/r/B/b.mp3", "/r/C/c.mp3"})
        fs.addFile(file);
    if (!c.from)
        fs.makeUnreadable(c.failing);
    setOptions(sctl, "/r", 1, 1);
    slow.cmdPlay_Click();
    const Files round{"/r/A/a.mp3", "/r/B/b.mp3", "/r/C/c.mp3"};
    Files expected = round;
    expected.insert(expected.end(), round.begin(), round.end());
    expected.push_back(c.added ? "/r/C/c2.mp3" : "/r/A/a.mp3");
    bool failed = !c.from;
    bool back = false;
    for (int i = 0; i < 60 && mm.opened().size() < expected.size(); ++i) {
        files.answerAll();
        const std::size_t before = mm.opened().size();
        slow.Timer1_Timer();
        if (mm.opened().size() == before)
            continue;
        const std::string opened = mm.opened().back();
        if (!failed && opened == c.from) {
            fs.makeUnreadable(c.failing);
            failed = true;
        }
        if (failed && !back && c.until && opened == c.until) {
            fs.unreadable.erase(c.failing);
            back = true;
        }
        files.answerAll(); // the look-ahead reads while the file plays
        if (failed && !back && !c.until) {
            fs.unreadable.erase(c.failing);
            back = true;
        }
        if (c.added && opened == "/r/C/c.mp3" && mm.opened().size() == 3)
            fs.addFile("/r/C/c2.mp3");
        mm.finish();
    }
    EXPECT_EQ(mm.opened(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Hiccups, SlowShareRetry,
    ::testing::Values(RetryCase{"InTheRound", "/r/C", nullptr, "/r/B/b.mp3", true},
                      RetryCase{"ReadForTheNextRound", "/r/A", "/r/B/b.mp3", nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A share gone as a repeated tree's round ends: the next round waits in the
// playing arrangement, a Pause holds it, and the resume goes on with it. Also
// where the play path is typed with a separator at its end, so that only the
// walk's listing of it is held back.
class SlowShareGone : public SlowShare, public ::testing::WithParamInterface<const char*> {};

TEST_P(SlowShareGone, TheNextRoundWaitsForAShareGoneInThePlayingArrangement)
{
    fs.addFile("/r/a.mp3");
    fs.addFile("/r/S/b.mp3");
    setOptions(sctl, GetParam(), 1, 1);
    slow.cmdPlay_Click();
    files.answer();
    ASSERT_FALSE(slow.startWaits());
    files.holdPath("/r"); // what the next round reads of the play path is not answered
    for (int i = 0; i < 12; ++i) {
        files.answerAll();
        const std::size_t before = mm.opened().size();
        slow.Timer1_Timer();
        if (mm.opened().size() > before)
            mm.finish();
    }
    ASSERT_EQ(mm.opened(), (Files{"/r/a.mp3", "/r/S/b.mp3"}));
    expectSet(sctl, Set::Playing);
    EXPECT_EQ(slow.state(), PlayState::Playing);

    slow.cmdPause_Click();
    files.comeBack();
    for (int i = 0; i < 8; ++i) {
        files.answerAll();
        slow.Timer1_Timer();
    }
    EXPECT_EQ(mm.opened().size(), 2u) << "held by the pause";
    slow.cmdPlay_Click();
    for (int i = 0; i < 8 && mm.opened().size() < 3; ++i) {
        files.answerAll();
        slow.Timer1_Timer();
    }
    EXPECT_EQ(mm.opened().back(), "/r/a.mp3");
    expectSet(sctl, Set::Playing);

    // Gone for good as the round's last file plays: the rounds wait for it in
    // the playing arrangement, and nobody is shown an hourglass for them.
    mm.finish();
    for (int i = 0; i < 8 && mm.opened().back() != "/r/S/b.mp3"; ++i) {
        files.answerAll();
        slow.Timer1_Timer();
    }
    ASSERT_EQ(mm.opened().back(), "/r/S/b.mp3");
    fs.remove("/r");
    mm.finish();
    for (int i = 0; i < 40; ++i) {
        files.answerAll();
        const std::size_t before = mm.opened().size();
        slow.Timer1_Timer();
        if (mm.opened().size() > before)
            mm.finish();
    }
    EXPECT_TRUE(slow.startWaits() || slow.passWaits());
    expectSet(sctl, Set::Playing);
    EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault);

    // Back while a round's start waits for its answers: that round plays it
    // once, whatever ticks come while it waits or in its yields; answers that
    // come during a pause wait for the resume to begin it.
    for (const bool paused : {false, true}) {
        for (int i = 0; i < 60 && !slow.startWaits(); ++i) {
            slow.Timer1_Timer();
            mm.finish();
            if (!slow.startWaits())
                files.answerAll();
        }
        ASSERT_TRUE(slow.startWaits());
        fs.addFile("/r/a.mp3");
        const std::size_t opened = mm.opened().size();
        slow.Timer1_Timer();
        if (paused)
            slow.cmdPause_Click();
        for (int y = 1; y <= 6; ++y)
            ui.atYield(y, [this] { slow.Timer1_Timer(); });
        files.answerAll();
        if (paused) {
            slow.Timer1_Timer();
            EXPECT_EQ(mm.opened().size(), opened);
            slow.cmdPlay_Click();
        }
        slow.Timer1_Timer();
        slow.Timer1_Timer();
        EXPECT_EQ(mm.opened().size(), opened + 1);
        fs.remove("/r");
    }
    // A Stop while it waits has no hourglass to take back.
    for (int i = 0; i < 60 && !slow.startWaits(); ++i) {
        slow.Timer1_Timer();
        mm.finish();
        if (!slow.startWaits())
            files.answerAll();
    }
    const std::vector<int> pointers = ui.pointers;
    slow.cmdStop_Click();
    EXPECT_EQ(ui.pointers, pointers);
}

INSTANTIATE_TEST_SUITE_P(PlayPaths, SlowShareGone, ::testing::Values("/r", "/r/"));

// A repeated folder is read again for each pass, not taken from the last.
TEST_F(SlowShare, ARepeatedFolderIsReadAgainForEachPass)
{
    fs.addFile("/r/a.mp3");
    setOptions(sctl, "/r", 0, 1);
    slow.cmdPlay_Click();
    files.answerAll();
    slow.Timer1_Timer(); // a
    fs.addFile("/r/b.mp3");
    for (int i = 0; i < 4; ++i) {
        files.answerAll();
        slow.Timer1_Timer(); // the folder is read again while a plays
    }
    mm.finish();
    const Files played = playSlowly(20, 1);
    ASSERT_GE(played.size(), 3u);
    EXPECT_EQ(played[2], "/r/b.mp3") << "the second pass plays the file added during the first";

    fs.addFile("/r/c.mp3");
    const Files later = playSlowly(20, 1);
    EXPECT_NE(std::find(later.begin() + static_cast<std::ptrdiff_t>(played.size()), later.end(), "/r/c.mp3"),
              later.end())
        << "and each later pass what was added meanwhile";

    // So is the first pass after a Stop that came while a reading was out.
    fs.addFile("/q/a.mp3");
    setOptions(sctl, "/q", 0, 1);
    slow.cmdStop_Click();
    slow.cmdPlay_Click();
    files.answerAll();
    slow.Timer1_Timer(); // a
    files.holdPath("/q");
    slow.Timer1_Timer(); // its reading of the folder for the next pass waits
    slow.cmdStop_Click();
    files.comeBack();
    mm.clear();
    slow.cmdPlay_Click();
    files.answerAll();
    slow.Timer1_Timer(); // a
    fs.addFile("/q/d.mp3");
    for (int i = 0; i < 4; ++i) {
        files.answerAll();
        slow.Timer1_Timer();
    }
    mm.finish();
    const Files afterStop = playSlowly(20, 1);
    ASSERT_GE(afterStop.size(), 3u);
    EXPECT_EQ(Files(afterStop.begin(), afterStop.begin() + 3), (Files{"/q/a.mp3", "/q/a.mp3", "/q/d.mp3"}));
}

// A repeated tree with nothing to play, on a share whose every answer takes
// time: the wait after a pass is twenty times as long as the pass's looking,
// the time its answers took included, in the walk as in the folder search
// after it; asking is what costs nothing here.
TEST_F(SlowShare, TheWaitAfterAnEmptyPassFollowsTheTimeItsAnswersTook)
{
    using namespace std::chrono;
    for (int i = 0; i < 30; ++i)
        fs.addFolder("/t/f" + std::to_string(i));
    fs.clock = &ui.now;
    fs.callCost = milliseconds(10);
    setOptions(sctl, "/t", 1, 1);
    slow.cmdPlay_Click();
    // Each pass: the time its answers took (the clock moves only while the
    // share answers), and the ticks the pass after it then waits.
    std::vector<steady_clock::duration> answered;
    std::vector<int> held;
    auto passBegan = ui.now;
    bool waiting = false;
    for (int tick = 0; tick < 3000 && held.size() < 4; ++tick) {
        files.answerAll();
        slow.Timer1_Timer();
        if (slow.passWaits() && !waiting) {
            answered.push_back(ui.now - passBegan);
            held.push_back(0);
        }
        if (slow.passWaits())
            ++held.back();
        else if (waiting)
            passBegan = ui.now;
        waiting = slow.passWaits();
    }
    ASSERT_EQ(held.size(), 4u) << "the tree is looked through again and again";
    EXPECT_TRUE(mm.opened().empty());
    for (std::size_t pass = 1; pass < 3; ++pass) {
        const auto waited = milliseconds(250) * held[pass];
        EXPECT_GE(waited, 20 * answered[pass]) << "pass " << pass;
        EXPECT_LE(waited, 20 * answered[pass] + milliseconds(750)) << "no longer than needed, pass " << pass;
    }
    expectSet(sctl, Set::Playing);
}

} // namespace
} // namespace orvane::test
