#include "player_fixture.h"

#include "player/place.h"
#include "settings/place_store.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <tuple>

namespace orvane::test {
namespace {

using Files = std::vector<std::string>;

// The creation day of each file of the tree below, as a place of it stores it.
int dayOf(const std::string& file)
{
    static const std::map<std::string, int> days = {{"/m/a.mp3", 2},   {"/m/b.mp3", 1},    {"/m/c.mp3", 3},
                                                    {"/m/A/x.mp3", 4}, {"/m/A/X/y.mp3", 5}, {"/m/B/z.mp3", 6},
                                                    {"/m/B/zz.mp3", 7}};
    const auto day = days.find(file);
    return day == days.end() ? 0 : day->second;
}

Place placeAt(const std::string& folder, const std::string& file, std::int64_t ms = 0, bool sub = true)
{
    Place p;
    p.created = DateTime(std::chrono::hours(24 * dayOf(file)));
    p.playPath = "/m";
    p.sub = sub ? 1 : 0;
    p.folder = folder;
    p.file = file;
    p.positionMs = ms;
    return p;
}

// /m: a b c; /m/A: x; /m/A/X: y; /m/B: z zz. Creation days follow the names
// except that b is the oldest.
void makeTree(FakeFileSystem& fs)
{
    fs.addFile("/m/a.mp3", 2);
    fs.addFile("/m/b.mp3", 1);
    fs.addFile("/m/c.mp3", 3);
    fs.addFile("/m/A/x.mp3", 4);
    fs.addFile("/m/A/X/y.mp3", 5);
    fs.addFile("/m/B/z.mp3", 6);
    fs.addFile("/m/B/zz.mp3", 7);
}

class PlaceFixture : public PlayerFixture {
protected:
    PlaceFixture()
    {
        makeTree(fs);
        options("/m", 1, 0);
    }

    // From here on the player under test reads the file system as both
    // programs do, each call answered later: here, between ticks.
    void answerLater()
    {
        late = std::make_unique<Player>(mm, share, ui);
        setOptions(late->controls(), "/m", 1, 0);
    }
    Player& p() { return late ? *late : player; }
    ControlModel& c() { return p().controls(); }
    // What the file system was asked is answered before and after each tick.
    void tick()
    {
        share.answerAll();
        p().Timer1_Timer();
        share.answerAll();
    }

    void keep(const std::optional<Place>& place)
    {
        store.text = place ? placeText(*place) : std::string{};
        p().place().keepIn(&store);
    }

    // The first file opened and the start the control was given for it.
    std::pair<std::string, std::string> firstOpened()
    {
        for (int i = 0; i < 40 && mm.opened().empty() && (c().enabled(Ctl::Timer1) || p().startWaits()); ++i)
            tick();
        std::string start = "none";
        for (const std::string& entry : mm.log) {
            if (entry.rfind("StartAt=", 0) == 0)
                start = entry.substr(8);
            if (entry == "Command=Play")
                break;
        }
        return {mm.opened().empty() ? std::string{} : mm.opened().front(), start};
    }

    MemoryPlaceStore store;
    SlowFileService share{fs};
    std::unique_ptr<Player> late;
};

// The same cases on a file system that answers at once and on one that
// answers later.
enum class Reads { AtOnce, Later };

std::string readsName(Reads reads)
{
    return reads == Reads::AtOnce ? "AtOnce" : "Later";
}

// What a stored place makes of the next Play, with the tree as it is then.
struct Resume {
    const char* name;
    Place place;
    std::function<void(FakeFileSystem&, ControlModel&)> change;
    std::string opened;    // the first file the Play opens; empty: none
    std::string startAtMs; // where it starts, "none" at its beginning
    bool kept;             // a place is stored afterwards
};

class PlaceResume : public PlaceFixture, public ::testing::WithParamInterface<std::tuple<Resume, Reads>> {
protected:
    void SetUp() override
    {
        if (std::get<1>(GetParam()) == Reads::Later)
            answerLater();
    }
};

const auto noChange = [](FakeFileSystem&, ControlModel&) {};

Place passed(Place p)
{
    p.passFile = true;
    return p;
}

Place inDateOrder(Place p, int day)
{
    p.dateOrder = true;
    p.created = DateTime(std::chrono::hours(24 * day));
    return p;
}

const Resume Resumes[] = {
    {"SameFileFromALittleBeforeItsPosition", placeAt("/m/A", "/m/A/x.mp3", 7250), noChange, "/m/A/x.mp3", "5250", true},
    {"PlayPathFileFromItsStartWhenThePlaceIsNearIt", placeAt("/m", "/m/b.mp3", 1500), noChange, "/m/b.mp3", "none", true},
    {"FromItsStartWhenThePlaceIsJustTheLeadIn", placeAt("/m", "/m/b.mp3", 2000), noChange, "/m/b.mp3", "none", true},
    {"GoneFileTheOneAfterIt", placeAt("/m", "/m/b.mp3", 100),
     [](FakeFileSystem& fs, ControlModel&) { fs.remove("/m/b.mp3"); }, "/m/c.mp3", "none", true},
    {"GoneLastFileOfAFolderTheNextFolder", placeAt("/m", "/m/c.mp3", 100),
     [](FakeFileSystem& fs, ControlModel&) { fs.remove("/m/c.mp3"); }, "/m/A/x.mp3", "none", true},
    {"GoneFolderTheNextFolder", placeAt("/m/A/X", "/m/A/X/y.mp3", 100),
     [](FakeFileSystem& fs, ControlModel&) { fs.remove("/m/A/X"); }, "/m/B/z.mp3", "none", true},
    {"NothingAfterItIdle", placeAt("/m/B", "/m/B/zz.mp3", 100),
     [](FakeFileSystem& fs, ControlModel&) { fs.remove("/m/B/zz.mp3"); }, "", "none", false},
    {"NothingAfterItWithRepeatANewStart", placeAt("/m", "/m/c.mp3", 100, false),
     [](FakeFileSystem& fs, ControlModel& c) {
         fs.remove("/m/c.mp3");
         c.setCkSub(0);
         c.setCkRepeat(1);
     },
     "/m/a.mp3", "none", true},
    {"GoneLastFolderWithRepeatTheTreeAgain", placeAt("/m/B", "/m/B/zz.mp3", 100),
     [](FakeFileSystem& fs, ControlModel& c) {
         fs.remove("/m/B");
         c.setCkRepeat(1);
     },
     "/m/a.mp3", "none", true},
    {"PassedFileTheOneAfterIt", passed(placeAt("/m/B", "/m/B/z.mp3", 100)), noChange, "/m/B/zz.mp3", "none", true},
    {"OtherPlayPathANewStart", placeAt("/m/A", "/m/A/x.mp3", 100),
     [](FakeFileSystem&, ControlModel& c) { c.setText1("/m/"); }, "/m/a.mp3", "none", true},
    {"OtherPlayPathWithNothingToPlayForgetsIt", placeAt("/m/A", "/m/A/x.mp3", 100),
     [](FakeFileSystem& fs, ControlModel& c) {
         fs.addFolder("/m/E");
         c.setText1("/m/E");
         c.setCkRepeat(1);
     },
     "", "none", false},
    {"OtherOrderANewStart", placeAt("/m/A", "/m/A/x.mp3", 100),
     [](FakeFileSystem&, ControlModel& c) {
         c.setOptDate(true);
         c.setOptName(false);
     },
     "/m/b.mp3", "none", true},
    {"OtherSubdirectoriesANewStart", placeAt("/m/A", "/m/A/x.mp3", 100),
     [](FakeFileSystem&, ControlModel& c) { c.setCkSub(0); }, "/m/a.mp3", "none", true},
    {"RepeatChangedStillFits", placeAt("/m/A", "/m/A/x.mp3", 3100),
     [](FakeFileSystem&, ControlModel& c) { c.setCkRepeat(1); }, "/m/A/x.mp3", "1100", true},
    {"FileMadeAnewUnderItsNameFromItsStart", placeAt("/m/A", "/m/A/x.mp3", 7250),
     [](FakeFileSystem& fs, ControlModel&) { fs.addFile("/m/A/x.mp3", 9); }, "/m/A/x.mp3", "none", true},
    {"FileMadeAnewUnderItsNameInDateOrderWhatFollowedTheOldOne", inDateOrder(placeAt("/m", "/m/b.mp3", 7250), 1),
     [](FakeFileSystem& fs, ControlModel& c) {
         fs.addFile("/m/b.mp3", 9);
         c.setOptDate(true);
         c.setOptName(false);
     },
     "/m/a.mp3", "none", true},
    {"GoneFileInDateOrder", inDateOrder(placeAt("/m", "/m/b.mp3", 100), 1),
     [](FakeFileSystem& fs, ControlModel& c) {
         fs.remove("/m/b.mp3");
         c.setOptDate(true);
         c.setOptName(false);
     },
     "/m/a.mp3", "none", true},
};

TEST_P(PlaceResume, PlayGoesOnFromWhatFollows)
{
    const Resume& r = std::get<0>(GetParam());
    keep(r.place);
    r.change(fs, c());
    p().cmdPlay_Click();
    const auto [opened, startAt] = firstOpened();
    EXPECT_EQ(opened, r.opened);
    EXPECT_EQ(startAt, r.startAtMs);
    EXPECT_EQ(store.place().has_value(), r.kept);
    if (!r.opened.empty()) {
        ASSERT_TRUE(store.place());
        EXPECT_EQ(store.place()->file, r.opened); // the place follows the sequence
        EXPECT_FALSE(store.place()->byItself) << "Play is the user's";
        EXPECT_EQ(std::to_string(store.place()->positionMs), r.startAtMs == "none" ? "0" : r.startAtMs);
        const int saves = store.saves;
        mm.positionNow = static_cast<double>(store.place()->positionMs) / 1000.0 + 1.0;
        tick();
        EXPECT_EQ(store.saves, saves) << "less than the interval heard from where it started";
    }
}

INSTANTIATE_TEST_SUITE_P(Place, PlaceResume,
                         ::testing::Combine(::testing::ValuesIn(Resumes), ::testing::Values(Reads::AtOnce, Reads::Later)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + readsName(std::get<1>(info.param));
                         });

// A place deep in a large tree is gone on from without reading the folders
// before it (they, and all inside them, sort before it: the sequence would
// pass them unheard), on either file system; the round goes on from there in
// its order, or from the folder after it where it has gone, and the next
// round plays the whole tree again.
TEST(PlaceInALargeTree, TheWayDownToItReadsOnlyTheFoldersAboveIt)
{
    FakeFileSystem fs;
    fs.addFile("/t/s.mp3");
    for (int i = 0; i < 20; ++i) {
        const std::string folder = "/t/" + std::to_string(100 + i);
        fs.addFile(folder + "/s.mp3");
        fs.addFile(folder + "/in/s.mp3");
    }
    const auto play = [&fs](SlowFileService* share, MemoryPlaceStore& store, std::size_t files, int repeat) {
        const PlacedRun run =
            runKeepingPlace(fs, share, store, files, [repeat](ControlModel& c) { setOptions(c, "/t", 1, repeat); });
        return std::make_pair(run.opened, run.listedByFirstOpen);
    };
    MemoryPlaceStore store;
    const Files whole = play(nullptr, store, 1000, 0).first;
    ASSERT_EQ(whole.size(), 41u);
    ASSERT_EQ(whole[30], "/t/114/in/s.mp3");
    for (const Reads reads : {Reads::AtOnce, Reads::Later}) {
        for (const bool gone : {false, true}) {
            SCOPED_TRACE(readsName(reads) + (gone ? ", its folder gone" : ", its folder there"));
            store.text.clear();
            play(nullptr, store, 31, 0);
            ASSERT_TRUE(store.place() && store.place()->file == whole[30]);
            if (gone)
                fs.remove("/t/114/in");
            fs.listings.clear();
            SlowFileService share(fs);
            const auto [rest, listings] = play(reads == Reads::Later ? &share : nullptr, store, 10 + 41, 1);
            Files expected(whole.begin() + (gone ? 31 : 30), whole.end());
            for (int round = 0; round < 2; ++round)
                for (const std::string& file : whole)
                    if (!gone || file != whole[30])
                        expected.push_back(file);
            expected.resize(std::min<std::size_t>(expected.size(), 10 + 41));
            EXPECT_EQ(rest, expected);
            const auto before = std::count_if(listings.begin(), listings.end(), [](const std::string& folder) {
                return folder != "/t" && lessNoCase(folder, "/t/114");
            });
            EXPECT_EQ(before, 0) << "the folders above the place's read, not the 28 folders before it";
            fs.addFile("/t/114/in/s.mp3");
        }
    }
}

TEST_F(PlaceFixture, TheFileAfterThePlaceFollowsWithoutAGapAndFromItsStart)
{
    keep(placeAt("/m", "/m/b.mp3", 9000));
    player.cmdPlay_Click();
    EXPECT_EQ(playThrough(60), (Files{"/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3", "/m/B/zz.mp3"}));
    EXPECT_EQ(std::count_if(mm.log.begin(), mm.log.end(), [](const std::string& e) { return e.rfind("StartAt=", 0) == 0; }), 1);
    expectSet(ctl, Set::Idle);
    EXPECT_TRUE(store.text.empty()); // the end of a tree without repeat forgets it
}

TEST_F(PlaceFixture, StopForgetsAndPlayThenStartsTheTreeWhole)
{
    keep(std::nullopt);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    player.Timer1_Timer();
    mm.finish();
    player.Timer1_Timer();
    ASSERT_EQ(store.place()->file, "/m/b.mp3");
    player.cmdStop_Click();
    EXPECT_TRUE(store.text.empty());
    player.place().programEnds(true);
    EXPECT_TRUE(store.text.empty()) << "nor does the program's end store it again";
    mm.clear();
    player.cmdPlay_Click();
    EXPECT_EQ(firstOpened(), std::make_pair(std::string("/m/a.mp3"), std::string("none")));

    // Stopped once a paused place has been found, before anything of it was
    // heard: Play after it starts the tree at its beginning too.
    player.cmdStop_Click();
    Place p = placeAt("/m/B", "/m/B/z.mp3", 4500);
    p.running = true;
    p.paused = true;
    keep(p);
    ASSERT_TRUE(player.playOnByItself());
    for (int i = 0; i < 10; ++i)
        player.Timer1_Timer();
    player.cmdStop_Click();
    mm.clear();
    player.cmdPlay_Click();
    EXPECT_EQ(firstOpened(), std::make_pair(std::string("/m/a.mp3"), std::string("none")));
}

TEST_F(PlaceFixture, StoredAtEachFileAtPauseAndResumeAndEveryFewSecondsHeard)
{
    keep(std::nullopt);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    ASSERT_EQ(store.place()->file, "/m/a.mp3");
    EXPECT_FALSE(store.place()->byItself) << "Play is the user's";
    const int atOpen = store.saves;

    mm.positionNow = 1.0;
    player.Timer1_Timer();
    EXPECT_EQ(store.saves, atOpen); // less than the interval heard
    mm.positionNow = PlaceKeeper::StoreEverySeconds; // the interval itself
    player.Timer1_Timer();
    EXPECT_EQ(store.saves, atOpen + 1);
    EXPECT_EQ(store.place()->positionMs, 2000);
    mm.positionNow = 3.0;
    player.Timer1_Timer();
    EXPECT_EQ(store.saves, atOpen + 1) << "the interval counts from the last store";

    mm.positionNow = 3.5;
    player.cmdPause_Click();
    EXPECT_TRUE(store.place()->paused);
    EXPECT_EQ(store.place()->positionMs, 3500);
    mm.positionNow = 9.0; // whatever a paused control says, a pause stores nothing more
    const int atPause = store.saves;
    player.Timer1_Timer();
    EXPECT_EQ(store.saves, atPause);
    player.cmdPlay_Click();
    EXPECT_FALSE(store.place()->paused);
    EXPECT_TRUE(store.place()->running);
}

TEST_F(PlaceFixture, ProgramEndKeepsThePlaceAndTellsHowItEnded)
{
    for (const bool byUser : {true, false}) {
        keep(std::nullopt);
        options("/m", 1, 0, !byUser); // each order kept too
        player.cmdPlay_Click();
        player.Timer1_Timer();
        mm.positionNow = 7.0;
        player.place().programEnds(byUser);
        ASSERT_TRUE(store.place()) << byUser;
        EXPECT_EQ(store.place()->positionMs, 7000);
        EXPECT_EQ(store.place()->running, !byUser);
        EXPECT_EQ(store.place()->sub, 1);
        EXPECT_EQ(store.place()->dateOrder, !byUser);
        EXPECT_EQ(store.place()->playPath, "/m");
        EXPECT_EQ(store.place()->folder, "/m");
        EXPECT_EQ(store.place()->created, DateTime(std::chrono::hours(24 * (byUser ? 2 : 1)))); // a's, or by date b's
        player.cmdStop_Click();
    }

    // Closed as a repeated tree whose play path has come back starts its
    // next round: the close is kept with the place of the last file heard.
    keep(std::nullopt);
    options("/m", 1, 1);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a
    mm.finish();
    fs.remove("/m");
    for (int i = 0; i < 12; ++i) {
        player.Timer1_Timer();
        if (player.DeviceReady == 0)
            mm.finish(MMControl::NotifyFailure);
    }
    ASSERT_TRUE(player.passWaits());
    const auto opened = mm.opened().size();
    makeTree(fs);
    for (int i = 0; i < 6 && player.passWaits(); ++i)
        player.Timer1_Timer();
    ASSERT_EQ(mm.opened().size(), opened) << "the round has begun; nothing opened yet";
    player.place().programEnds(true);
    ASSERT_TRUE(store.place());
    EXPECT_FALSE(store.place()->running);
    player.cmdStop_Click();

    // Closed before the place it was to play on from by itself was reached:
    // nothing of it was heard, so it ended nothing.
    Place p = placeAt("/m/A", "/m/A/x.mp3", 4000);
    p.running = true;
    keep(p);
    ASSERT_TRUE(player.playOnByItself());
    player.place().programEnds(true);
    ASSERT_TRUE(store.place());
    EXPECT_FALSE(store.place()->running);
    EXPECT_FALSE(store.place()->byItself);
}

TEST_F(PlaceFixture, AStoreThatFailsLosesNothingOfThePlaying)
{
    keep(std::nullopt);
    store.failing = true;
    player.cmdPlay_Click();
    EXPECT_EQ(playThrough(60).size(), 7u);
}

// Playing on by itself, on a file system that answers at once and on one that
// answers later, as both programs read it.
class PlaceByItself : public PlaceFixture, public ::testing::WithParamInterface<Reads> {
protected:
    void SetUp() override
    {
        if (GetParam() == Reads::Later)
            answerLater();
    }

    // At start, as each program does once its window shows; whether the
    // sequence plays on, once whatever it asked has been answered.
    bool playsOnByItself()
    {
        p().playOnByItself();
        share.answerAll();
        return p().PlayOn == 1;
    }
};

INSTANTIATE_TEST_SUITE_P(Place, PlaceByItself, ::testing::Values(Reads::AtOnce, Reads::Later),
                         [](const auto& info) { return readsName(info.param); });

TEST_P(PlaceByItself, AbnormalEndPlaysOnByItselfWithThePlacesOwnChoices)
{
    Place place = placeAt("/m/A", "/m/A/x.mp3", 4000);
    place.running = true;
    keep(place);
    setOptions(c(), "/m/B", 0, 0, true); // the settings never heard of the path typed in that run, nor of its order
    EXPECT_TRUE(playsOnByItself());
    EXPECT_EQ(c().Text1(), "/m");
    EXPECT_EQ(c().ckSub(), 1);
    EXPECT_TRUE(c().optName());
    EXPECT_EQ(firstOpened(), std::make_pair(std::string("/m/A/x.mp3"), std::string("2000")));
    EXPECT_TRUE(store.place()->byItself);
    mm.finish();
    for (int i = 0; i < 5 && mm.opened().size() < 2; ++i)
        tick();
    EXPECT_EQ(store.place()->file, "/m/A/X/y.mp3");
    EXPECT_FALSE(store.place()->byItself); // moved on to another file

    // Its folder gone, the tree comes round: that round plays on from nothing.
    p().cmdStop_Click();
    mm.clear();
    place.folder = "/m/B";
    place.file = "/m/B/zz.mp3";
    keep(place);
    fs.remove("/m/B");
    c().setCkRepeat(1);
    EXPECT_TRUE(playsOnByItself());
    EXPECT_EQ(firstOpened().first, "/m/a.mp3");
    EXPECT_FALSE(store.place()->byItself);
}

TEST_F(PlaceFixture, PlayedOnByItselfAndEndedAgainOnThatFileStartsQuietAndPlayPassesIt)
{
    Place p = placeAt("/m/A", "/m/A/x.mp3", 4000);
    p.running = true;
    p.byItself = true;
    keep(p);
    EXPECT_FALSE(player.playOnByItself());
    EXPECT_TRUE(mm.log.empty());
    expectSet(ctl, Set::Idle);
    // So also in a later run.
    player.place().keepIn(&store);
    EXPECT_FALSE(player.playOnByItself());
    player.cmdPlay_Click();
    EXPECT_EQ(firstOpened(), std::make_pair(std::string("/m/A/X/y.mp3"), std::string("none")));
}

TEST_F(PlaceFixture, AbnormalEndOnlyAndAReachablePathPlayOnByItself)
{
    Place closed = placeAt("/m/A", "/m/A/x.mp3", 4000);
    keep(closed); // closed by the user: the start is quiet
    EXPECT_FALSE(player.playOnByItself());
    Place unreachable = placeAt("/gone", "/gone/x.mp3", 4000);
    unreachable.playPath = "/gone";
    unreachable.running = true;
    keep(unreachable);
    EXPECT_FALSE(player.playOnByItself());
    EXPECT_TRUE(ui.boxes.empty()); // no message at start
    EXPECT_EQ(store.place(), unreachable); // kept for a later start
    expectSet(ctl, Set::Idle);

    // On a share that answers later, it plays on once the answer has come.
    SlowFileService share(fs);
    FakeMMControl lateMm;
    Player late(lateMm, share, ui);
    unreachable.playPath = "/m";
    keep(unreachable);
    late.place().keepIn(&store);
    EXPECT_FALSE(late.playOnByItself());
    share.answerAll();
    EXPECT_EQ(late.PlayOn, 1);
    EXPECT_EQ(late.controls().Text1(), "/m");
    player.place().keepIn(nullptr); // nothing kept: nothing to play on from
    EXPECT_FALSE(player.playOnByItself());
}

// Both programs read the file system off the window thread: the start that
// plays on by itself waits for its answers before it can pause.
TEST_P(PlaceByItself, PausedPlaceComesBackPausedAndPlayGoesOnFromIt)
{
    Place place = placeAt("/m/B", "/m/B/z.mp3", 4500);
    place.running = true;
    place.paused = true;
    keep(place);
    EXPECT_TRUE(playsOnByItself());
    for (int i = 0; i < 10; ++i)
        tick();
    EXPECT_TRUE(mm.opened().empty());
    expectSet(c(), Set::Paused);
    EXPECT_TRUE(store.place()->paused) << "an end now comes back paused again";
    EXPECT_FALSE(store.place()->byItself); // nothing was heard by itself
    p().cmdPlay_Click();
    EXPECT_EQ(firstOpened(), std::make_pair(std::string("/m/B/z.mp3"), std::string("2500")));
    EXPECT_FALSE(store.place()->byItself) << "it plays on by the user's Play";
}

// The stored place lies on a share that does not answer (a NAS asleep or
// hung) while the program's start checks it; the user types a folder of their
// own and presses Play. What the user asks for wins over what the program
// does by itself, whatever the share does then.
struct UserFirst {
    const char* name;
    bool stopFirst;  // the user presses Stop before typing the folder
    bool shareWakes; // the share answers once Play has been pressed
};

class PlaceCheckOut : public PlaceFixture, public ::testing::WithParamInterface<UserFirst> {};

TEST_P(PlaceCheckOut, TheUsersPlayPlaysTheUsersFolder)
{
    const UserFirst& u = GetParam();
    answerLater();
    fs.addFile("/nas/n.mp3");
    Place place = placeAt("/nas", "/nas/n.mp3", 4000);
    place.playPath = "/nas";
    place.running = true;
    keep(place);
    share.goAway("/nas");
    EXPECT_FALSE(p().playOnByItself());
    share.answerAll();
    ASSERT_EQ(p().PlayOn, 0) << "the check is out";

    if (u.stopFirst)
        p().cmdStop_Click();
    c().setText1("/m/A");
    p().cmdPlay_Click();
    if (u.shareWakes)
        share.comeBack();
    EXPECT_EQ(firstOpened().first, "/m/A/x.mp3");
    EXPECT_EQ(c().Text1(), "/m/A");
    EXPECT_FALSE(p().startWaits());
    EXPECT_EQ(ui.pointers.back(), UiHost::PointerDefault) << "no hourglass left";
    share.comeBack();
    share.answerAll();
    tick();
    EXPECT_EQ(mm.opened(), (Files{"/m/A/x.mp3"})) << "nothing of the place once the share answers";
    EXPECT_EQ(c().Text1(), "/m/A");
}

INSTANTIATE_TEST_SUITE_P(Place, PlaceCheckOut,
                         ::testing::Values(UserFirst{"TheShareStaysAway", false, false},
                                           UserFirst{"TheShareWakesUp", false, true},
                                           UserFirst{"StopFirst", true, false},
                                           UserFirst{"StopFirstAndTheShareWakesUp", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder or file from outside, with the tree and options of the fixture
// (Subdirectories on, name order) and the place stored before it came.
struct Request {
    const char* name;
    std::optional<Place> place;
    std::string path;
    std::string opened;    // the first file it opens; empty: none
    std::string startAtMs; // where that file starts
    std::string text1;     // the play path box afterwards
    std::string placeFile; // the file of the place stored afterwards; empty: none
};

void PrintTo(const Request& r, std::ostream* os)
{
    *os << r.name;
}

class PlaceRequest : public PlaceFixture, public ::testing::WithParamInterface<std::tuple<Request, Reads>> {
protected:
    void SetUp() override
    {
        if (std::get<1>(GetParam()) == Reads::Later)
            answerLater();
        fs.addFile("/m/notes.txt");
        fs.addFolder("/m/E.mp3");
        fs.addFile("/m/E.mp3/e.mp3");
    }
};

const Request Requests[] = {
    {"FolderFromItsStart", std::nullopt, "/m/A", "/m/A/x.mp3", "none", "/m/A", "/m/A/x.mp3"},
    {"FileItsFolderFromIt", std::nullopt, "/m/b.mp3", "/m/b.mp3", "none", "/m", "/m/b.mp3"},
    {"FolderNamedLikeAFile", std::nullopt, "/m/E.mp3", "/m/E.mp3/e.mp3", "none", "/m/E.mp3", "/m/E.mp3/e.mp3"},
    {"PlaceOfAnotherPathNotPlayedOn", placeAt("/m/A", "/m/A/x.mp3", 7250), "/m/B", "/m/B/z.mp3", "none", "/m/B",
     "/m/B/z.mp3"},
    {"PlaceOfItsPathPlayedOnAsPlayWould", placeAt("/m/A", "/m/A/x.mp3", 7250), "/m", "/m/A/x.mp3", "5250", "/m",
     "/m/A/x.mp3"},
    {"FileBeforeThePlaceOfItsPath", placeAt("/m/A", "/m/A/x.mp3", 7250), "/m/c.mp3", "/m/c.mp3", "none", "/m",
     "/m/c.mp3"},
    {"MissingPathChangesNothingStored", placeAt("/m/A", "/m/A/x.mp3", 7250), "/m/gone", "", "none", "/m/gone",
     "/m/A/x.mp3"},
    {"FileOfAnotherKind", placeAt("/m/A", "/m/A/x.mp3", 7250), "/m/notes.txt", "", "none", "/m/notes.txt",
     "/m/A/x.mp3"},
    {"Mp3ItsFolderDoesNotHold", std::nullopt, "/m/A/y.mp3", "", "none", "/m/A/y.mp3", ""},
    {"Empty", std::nullopt, "", "", "none", "", ""},
};

TEST_P(PlaceRequest, PlaysAsPlayAfterTypingItOrIsRefused)
{
    const Request& r = std::get<0>(GetParam());
    keep(r.place);
    c().setText1("/chosen");
    p().playRequested(r.path);
    share.answerAll();
    const auto [opened, startAt] = firstOpened();
    EXPECT_EQ(opened, r.opened);
    EXPECT_EQ(startAt, r.startAtMs);
    EXPECT_EQ(c().Text1(), r.text1);
    EXPECT_EQ(store.place() ? store.place()->file : std::string{}, r.placeFile);
    if (r.opened.empty()) {
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, PathErrorText);
        EXPECT_EQ(ui.boxes[0].title, PathErrorTitle);
        expectSet(c(), Set::Idle);
        EXPECT_EQ(p().playPathToStore(), "/chosen") << "shown, not chosen";
        c().setText1("/typed");
        EXPECT_EQ(p().playPathToStore(), "/typed");
    } else {
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(p().playPathToStore(), r.text1);
    }
}

// The desktop's media controls ask for an answer instead: a refusal shows
// no box and leaves even the play path box as it was.
TEST_P(PlaceRequest, AnAnsweredRequestIsToldAndARefusalChangesNothing)
{
    const Request& r = std::get<0>(GetParam());
    keep(r.place);
    c().setText1("/chosen");
    std::vector<bool> answers;
    p().playRequested(r.path, [&answers](bool plays) { answers.push_back(plays); });
    share.answerAll();
    EXPECT_EQ(answers, std::vector<bool>{!r.opened.empty()});
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(firstOpened().first, r.opened);
    EXPECT_EQ(c().Text1(), r.opened.empty() ? "/chosen" : r.text1);
    EXPECT_EQ(store.place() ? store.place()->file : std::string{}, r.placeFile);
}

INSTANTIATE_TEST_SUITE_P(Place, PlaceRequest,
                         ::testing::Combine(::testing::ValuesIn(Requests), ::testing::Values(Reads::AtOnce, Reads::Later)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + readsName(std::get<1>(info.param));
                         });

// A file plays on through its folder in the folder's order, then the
// subfolders, as the play path's own files do.
TEST_F(PlaceFixture, AFileRequestedPlaysTheRestOfItsTreeInOrder)
{
    player.playRequested("/m/b.mp3");
    EXPECT_EQ(playThrough(60), (Files{"/m/b.mp3", "/m/c.mp3", "/m/A/x.mp3", "/m/A/X/y.mp3", "/m/B/z.mp3", "/m/B/zz.mp3"}));
    options("/m", 0, 0, true); // date order: b is the oldest, a follows it
    mm.clear();
    player.playRequested("/m/a.mp3");
    EXPECT_EQ(playThrough(60), (Files{"/m/a.mp3", "/m/c.mp3"}));
}

// What plays ends for a folder from outside; a path refused leaves it
// playing, its play path back in the box.
TEST_F(PlaceFixture, ARequestWhilePlayingEndsItOrLeavesItAsItWas)
{
    keep(std::nullopt);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    ASSERT_EQ(mm.opened(), Files{"/m/a.mp3"});
    player.cmdPause_Click();

    std::string shownWithTheBox;
    player.pathRefused().connect([&](const std::string& path) { shownWithTheBox = path + " in " + ctl.Text1(); });
    player.playRequested("/nowhere");
    EXPECT_EQ(shownWithTheBox, "/nowhere in /nowhere");
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ctl.Text1(), "/m");
    EXPECT_EQ(player.state(), PlayState::Paused);
    EXPECT_EQ(store.place()->file, "/m/a.mp3");
    EXPECT_EQ(player.playPathToStore(), "/m");

    mm.clear();
    player.playRequested("/m/B");
    EXPECT_EQ(mm.commands().front(), "Close");
    EXPECT_EQ(player.state(), PlayState::Playing);
    EXPECT_EQ(ctl.Text1(), "/m/B");
    EXPECT_EQ(playThrough(60), (Files{"/m/B/z.mp3", "/m/B/zz.mp3"}));
}

// A request waiting for the share goes with the user's Stop; the newest of
// two waiting is the one played.
TEST_F(PlaceFixture, ARequestWaitingForTheShareGoesWithStopOrANewerOne)
{
    answerLater();
    std::vector<bool> answers;
    p().playRequested("/m/A", [&answers](bool plays) { answers.push_back(plays); });
    p().cmdStop_Click();
    EXPECT_EQ(answers, std::vector<bool>{false});
    share.answerAll();
    EXPECT_EQ(p().state(), PlayState::Idle);
    EXPECT_EQ(c().Text1(), "/m");

    p().playRequested("/m/A");
    p().playRequested("/m/B/zz.mp3");
    share.answerAll();
    EXPECT_EQ(firstOpened().first, "/m/B/zz.mp3");
}

// Where a file that lost its sound device had got to is for that file's next
// opening only.
// --- Sleep and seeking: the place is kept as at Pause -------------------------

using std::chrono::minutes;
using std::chrono::seconds;

bool falling(const std::vector<double>& levels)
{
    return std::is_sorted(levels.rbegin(), levels.rend()) && levels.front() > levels.back();
}

TEST_F(PlaceFixture, SleepFadesOutPausesAndPlayGoesOnFromWhereTheFadeBegan)
{
    keep(std::nullopt);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    ASSERT_EQ(mm.opened(), Files{"/m/a.mp3"});
    player.chooseSleep(SleepTimer::Choice::Minutes15);
    EXPECT_EQ(player.sleepText(), "Sleep in 15 min");
    ui.now += minutes(14) + seconds(1);
    mm.positionNow = 100.0;
    player.Timer1_Timer();
    EXPECT_EQ(player.sleepText(), "Sleep in 1 min");
    EXPECT_TRUE(mm.volumes.empty()) << "no fade before the time is up";

    ui.now += seconds(59);
    player.Timer1_Timer(); // the fade begins where the file is now
    for (int i = 0; i < 39; ++i) {
        ui.now += std::chrono::milliseconds(Timer1IntervalMs);
        mm.positionNow += 0.25;
        player.Timer1_Timer();
    }
    EXPECT_FALSE(player.Paused) << "still fading";
    EXPECT_TRUE(falling(mm.volumes));
    EXPECT_GT(mm.volumes.size(), 30u);
    mm.clear();
    ui.now += std::chrono::milliseconds(Timer1IntervalMs);
    mm.positionNow += 0.25;
    player.Timer1_Timer();

    expectSet(ctl, Set::Paused);
    EXPECT_EQ(mm.log, (std::vector<std::string>{"Command=pause", "Seek=100000"}));
    EXPECT_EQ(mm.volumes.back(), 1.0) << "the next Play is heard at its level";
    ASSERT_TRUE(store.place());
    EXPECT_TRUE(store.place()->paused);
    EXPECT_EQ(store.place()->positionMs, 100000);
    EXPECT_EQ(player.sleepText(), "");
    EXPECT_EQ(player.sleep().choice(), SleepTimer::Choice::Off);
    player.cmdPlay_Click();
    EXPECT_EQ(mm.commands().back(), "pause"); // resumed from there
}

TEST_F(PlaceFixture, SleepAtTheEndOfTheFileOrFolderPausesBeforeTheNextWhichPlayThenStarts)
{
    struct Case {
        SleepTimer::Choice choice;
        Files heardBeforePause;
        std::string next;
    };
    for (const Case& k : {Case{SleepTimer::Choice::EndOfFile, {"/m/a.mp3"}, "/m/b.mp3"},
                          Case{SleepTimer::Choice::EndOfFolder, {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"}, "/m/A/x.mp3"}}) {
        player.cmdStop_Click();
        mm.clear();
        mm.nextFiles.clear();
        keep(std::nullopt);
        player.cmdPlay_Click();
        player.Timer1_Timer();
        player.chooseSleep(k.choice);
        for (std::size_t i = 0; i < k.heardBeforePause.size(); ++i) {
            EXPECT_EQ(mm.nextFiles.back(), i + 1 < k.heardBeforePause.size() ? k.heardBeforePause[i + 1] : "")
                << "nothing follows the file the music pauses after";
            mm.finish();
            for (int t = 0; t < 3; ++t)
                player.Timer1_Timer();
        }
        EXPECT_EQ(mm.opened(), k.heardBeforePause);
        expectSet(ctl, Set::Paused);
        ASSERT_TRUE(store.place());
        EXPECT_TRUE(store.place()->paused);
        EXPECT_TRUE(store.place()->passFile) << "a later start goes on with the next file";
        EXPECT_EQ(player.sleepText(), "");

        player.cmdPlay_Click();
        player.Timer1_Timer();
        EXPECT_EQ(mm.opened().back(), k.next);
        mm.finish();
        player.Timer1_Timer();
        EXPECT_FALSE(player.Paused) << "once only";
    }
}

TEST_F(PlaceFixture, PauseDuringTheFadeAndStopEndTheSleep)
{
    keep(std::nullopt);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    player.chooseSleep(SleepTimer::Choice::Minutes30);
    ui.now += minutes(30);
    mm.positionNow = 5.0;
    player.Timer1_Timer();
    ui.now += seconds(3);
    player.Timer1_Timer();
    ASSERT_LT(mm.volumes.back(), 1.0);
    player.cmdPause_Click();
    EXPECT_EQ(mm.volumes.back(), 1.0);
    EXPECT_EQ(player.sleepText(), "");
    player.cmdPlay_Click();
    ui.now += seconds(20);
    player.Timer1_Timer();
    EXPECT_FALSE(player.Paused) << "the fade was over with the Pause";

    player.chooseSleep(SleepTimer::Choice::EndOfFile);
    EXPECT_EQ(player.sleepText(), "Sleep at the end of this file");
    player.cmdStop_Click();
    EXPECT_EQ(player.sleepText(), "");

    // Chosen while stopped, it counts for the next Play, unless its time has
    // run out by then.
    player.chooseSleep(SleepTimer::Choice::Minutes15);
    ui.now += minutes(20);
    mm.volumes.clear();
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_TRUE(mm.volumes.empty());
    EXPECT_EQ(player.sleepText(), "");
    player.cmdStop_Click();
    player.chooseSleep(SleepTimer::Choice::Minutes15);
    ui.now += minutes(10);
    player.cmdPlay_Click();
    player.Timer1_Timer();
    EXPECT_EQ(player.sleepText(), "Sleep in 5 min");
}

TEST_F(PlaceFixture, SeekMovesWithinTheFileAndStoresThePlaceAtOnce)
{
    keep(std::nullopt);
    EXPECT_FALSE(player.seekTo(5.0)) << "nothing is heard";
    player.cmdPlay_Click();
    player.Timer1_Timer();
    std::vector<double> told;
    player.seeked().connect([&](double at) { told.push_back(at); });
    mm.now.lengthUs = 600'000'000;
    mm.positionNow = 20.0;
    const int saves = store.saves;

    EXPECT_TRUE(player.seekBy(-10.0));
    EXPECT_EQ(store.saves, saves + 1);
    EXPECT_EQ(store.place()->positionMs, 10000);
    EXPECT_TRUE(player.seekBy(-30.0)); // before its start: its start
    EXPECT_TRUE(player.seekTo(590.5));
    EXPECT_EQ(store.place()->positionMs, 590500);
    EXPECT_EQ(told, (std::vector<double>{10.0, 0.0, 590.5}));

    player.cmdPause_Click();
    EXPECT_TRUE(player.seekTo(100.0)) << "paused, it moves and stays paused";
    EXPECT_FALSE(player.seekTo(600.0)) << "Skip cannot be chosen while paused";
    player.cmdPlay_Click();
    mm.clear();
    EXPECT_TRUE(player.seekBy(600.0)); // past its end: the next file, as Skip
    EXPECT_EQ(mm.commands(), (std::vector<std::string>{"Close"}));
    EXPECT_EQ(told.size(), 4u);
    player.Timer1_Timer();
    EXPECT_EQ(mm.opened().back(), "/m/b.mp3");

    mm.seekable = false;
    EXPECT_FALSE(player.canSeek());
    EXPECT_FALSE(player.seekBy(10.0));
}

TEST(PlaceKeeper, ALostPositionIsForTheFileThatLostItsDevice)
{
    FakeMMControl mm;
    PlaceKeeper keeper(mm);
    keeper.sequenceStarts("/m", false, 0, false);
    keeper.opening("/m", {"/m/a.mp3", {}});
    mm.positionNow = 30.0;
    keeper.deviceLost();
    keeper.opening("/m", {"/m/b.mp3", {}});
    keeper.opening("/m", {"/m/a.mp3", {}});
    keeper.deviceLost();
    keeper.lostPassed(); // passed over by a Skip
    keeper.opening("/m", {"/m/a.mp3", {}});
    keeper.deviceLost();
    keeper.forget(); // a Stop
    keeper.sequenceStarts("/m", false, 0, false);
    keeper.opening("/m", {"/m/a.mp3", {}});
    EXPECT_TRUE(mm.log.empty()) << "each from its beginning";

    mm.positionNow = 2.0; // no further than the lead-in: from its beginning again
    keeper.deviceLost();
    keeper.opening("/m", {"/m/a.mp3", {}});
    mm.positionNow = 30.0;
    keeper.deviceLost();
    EXPECT_EQ(keeper.stored()->positionMs, 30000); // for a start after a kill meanwhile
    keeper.opening("/m", {"/m/a.mp3", {}});
    mm.positionNow = 28.5; // lost again at once: the place stays where it had got to
    keeper.deviceLost();
    EXPECT_EQ(keeper.stored()->positionMs, 30000);
    keeper.opening("/m", {"/m/a.mp3", {}});
    keeper.opening("/m", {"/m/a.mp3", {}}); // the next opening only
    mm.positionNow = 5.0; // lost anew, nearer its beginning
    keeper.deviceLost();
    keeper.opening("/m", {"/m/a.mp3", {}});
    EXPECT_EQ(mm.log, (std::vector<std::string>{"StartAt=28000", "StartAt=28000", "StartAt=3000"}));
}

// Where the sequence opens a file is where it is, even before it reaches the
// place it made for (a tick in the start's yield opens from the last list).
TEST(PlaceKeeper, AnOpeningEndsTheWayToThePlace)
{
    FakeMMControl mm;
    PlaceKeeper keeper(mm);
    MemoryPlaceStore store;
    store.text = placeText(placeAt("/m/A", "/m/A/x.mp3", 7000));
    keeper.keepIn(&store);
    keeper.sequenceStarts("/m", false, 1, false);
    ASSERT_TRUE(keeper.seeking());
    keeper.opening("/m", {"/m/b.mp3", {}});
    EXPECT_FALSE(keeper.seeking());
}

// The stored form.
TEST(PlaceText, EveryFieldAndAnyBytesOfAPathComeBack)
{
    Place p;
    p.playPath = "/m/100% \"odd\"~\nline\xff\xfe\xc3\xa0";
    p.dateOrder = true;
    p.sub = 1;
    p.folder = "/m/A=B";
    p.file = "/m/A=B/\r\t%41.mp3";
    p.created = DateTime(std::chrono::microseconds(1234567890123456));
    p.positionMs = 98765;
    p.paused = true;
    p.running = true;
    p.byItself = true;
    p.passFile = true;
    const std::string text = placeText(p);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7f); }));
    // What a line can hold is left as it is: the stored path stays readable.
    EXPECT_NE(text.find("\npath=/m/100%25 \"odd\"~%0Aline%FF%FE%C3%A0\n"), std::string::npos) << text;
    EXPECT_EQ(parsePlace(text), p);
    // A round of shuffled folders keeps its seed and first folder.
    p.round = ShuffledRound{18446744073709551615ull, "/m/A=B\n"};
    EXPECT_EQ(parsePlace(placeText(p)), p);
}

TEST(PlaceText, DamagedOrCutShortIsNoPlace)
{
    Place shuffled = placeAt("/m/A", "/m/A/x.mp3", 4000);
    shuffled.round = ShuffledRound{7, "/m/B"};
    const std::string text = placeText(shuffled);
    ASSERT_TRUE(parsePlace(text));
    for (std::size_t cut = 0; cut < text.size(); ++cut)
        EXPECT_FALSE(parsePlace(text.substr(0, cut))) << cut;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string damaged = text;
        damaged[i] ^= 0x04;
        EXPECT_FALSE(parsePlace(damaged)) << i;
    }
    EXPECT_FALSE(parsePlace(std::string(100, '\0')));

    // Whole and checked, but holding what no place holds.
    Place oddSub = placeAt("/m/A", "/m/A/x.mp3");
    oddSub.sub = 2;
    for (const Place& p : {placeAt("/m/A", ""), placeAt("/m/A", "/m/A/x.mp3", -1), oddSub})
        EXPECT_FALSE(parsePlace(placeText(p))) << placeText(p);

    // Signed as the store signs it (64-bit FNV-1a of everything before the
    // check), each with one value that is no value of its line.
    const auto signedText = [](const std::string& body) {
        std::uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : body) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        char digits[17];
        std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
        return body + "check=" + digits + "\n";
    };
    const std::string body = text.substr(0, text.rfind("check="));
    ASSERT_EQ(signedText(body), text);
    const std::pair<const char*, const char*> odd[] = {
        {"path", "%4"},      {"folder", "%G0"}, {"file", "%"},    {"order", "3"},   {"sub", "x"},
        {"created", ""},     {"position", "p"}, {"paused", "2"},  {"running", "-1"}, {"byitself", "yes"},
        {"passfile", "10"},  {"created", "9999999999999999999"}, {"created", "9223372036854776"},
        {"position", "5x"},  {"seed", "x"},     {"seed", "-1"},   {"seed", "18446744073709551616"},
        {"first", ""},       {"first", "%Z1"},
    };
    for (const auto& [key, value] : odd) {
        const std::size_t at = body.find(std::string("\n") + key + "=") + 1;
        const std::size_t end = body.find('\n', at);
        const std::string changed = body.substr(0, at) + key + "=" + value + body.substr(end);
        EXPECT_FALSE(parsePlace(signedText(changed))) << key << "=" << value;
    }
}

// Windows keeps the place in the registry, apart from the five settings.
TEST(RegistryPlaceStore, OneValueOfItsOwnBesideTheSettings)
{
    MemoryStore registry;
    registry.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"] = "/m";
    RegistryPlaceStore store(registry.factory());
    EXPECT_EQ(store.load(), "");
    store.save("text");
    EXPECT_EQ(store.load(), "text");
    store.forget();
    EXPECT_EQ(store.load(), "");
    EXPECT_EQ(registry.writes.size(), 2u);
    EXPECT_EQ(registry.values.at("HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"), "/m");
}

#ifdef _WIN32
// One copy of the program keeps the place: a copy started while it runs
// gets no store, and once the first has gone the next one does.
TEST(RegistryPlaceStore, OnlyTheCopyThatClaimedItKeepsThePlace)
{
    MemoryStore registry;
    std::unique_ptr<PlaceStore> first = claimRegistryPlace(registry.factory());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(claimRegistryPlace(registry.factory()), nullptr);
    first.reset();
    EXPECT_NE(claimRegistryPlace(registry.factory()), nullptr);
}
#endif

} // namespace
} // namespace orvane::test
