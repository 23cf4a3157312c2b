// The start-up, main window and lifetime rules over fake windows.
#include "app/command_line.h"
#include "app/form_layouts.h"
#include "app/main_form.h"
#include "app/program_lifetime.h"
#include "app/splash_form.h"
#include "desktop/fake_tray_platform.h"
#include "settings/place_store.h"
#include "settings/place_writer.h"
#include "settings/settings_store.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvane::test {
namespace {

using Calls = std::vector<std::string>;

// A window's close runs its unload, as the windows of both programs do.
class FakeSplash : public SplashForm {
public:
    using SplashForm::SplashForm;
    Calls calls;

private:
    void showVersion(const std::string& caption) override { calls.push_back(caption); }
    void startTimer1(int intervalMs) override { calls.push_back("timer " + std::to_string(intervalMs)); }
    void stopTimer1() override { calls.push_back("stop timer"); }
    void closeWindow() override { Form_Unload(); }
    void showMainWindow() override { calls.push_back("main window"); }
};

TEST(SplashForm, LoadSettlesTheSettingsThenShowsTheVersionAndStartsTheTimer)
{
    MemoryStore store;
    SettingsProvider settings(store.factory());
    FakeSplash splash(settings);
    splash.Form_Load();
    EXPECT_EQ(store.writes.back(), "Version=3.0.0");
    EXPECT_EQ(splash.calls, (Calls{"Version 3.0.0", "timer 500"}));
    EXPECT_EQ(splash.SplashTickLimit, 1);
}

TEST(SplashForm, FirstTickKeyOrFrameClickShowsTheMainWindowOnce)
{
    MemoryStore store;
    SettingsProvider settings(store.factory());
    for (void (SplashForm::*end)() : {&SplashForm::Timer1_Timer, &SplashForm::Form_KeyPress,
                                      &SplashForm::Frame1_Click}) {
        FakeSplash splash(settings);
        splash.Form_Load();
        splash.calls.clear();
        (splash.*end)();
        EXPECT_TRUE(splash.isUnloaded()) << "closed by the first";
        (splash.*end)();
        splash.Form_Unload();
        EXPECT_TRUE(splash.isUnloaded());
        EXPECT_EQ(splash.calls, (Calls{"stop timer", "main window"}));
    }
}

// A host whose posted calls may come from the file service's worker thread.
class ThreadedUi : public FakeUi {
public:
    void post(std::function<void()> call) override { inbox.post(std::move(call)); }
    Inbox inbox;
};

// Made before MainForm, which takes the file system and the host over.
struct FakeFileSystemHolder {
    std::unique_ptr<FakeFileSystem> owned = std::make_unique<FakeFileSystem>();
    FakeFileSystem* fs = owned.get();
    std::unique_ptr<ThreadedUi> ownedUi = std::make_unique<ThreadedUi>();
    ThreadedUi* host = ownedUi.get();
};

class FakeMainWindow : private FakeFileSystemHolder, public MainForm {
public:
    explicit FakeMainWindow(SettingsProvider& settings, FileReads reads = FileReads::AtOnce)
        : MainForm(std::make_unique<FakeMMControl>(), std::move(owned), std::move(ownedUi), settings, reads)
    {
    }
    FakeMMControl& mm() { return static_cast<FakeMMControl&>(mmControl()); }
    FakeFileSystem& files() { return *FakeFileSystemHolder::fs; }
    ThreadedUi& ui() { return *host; }
    using MainForm::attachTray;

    std::string folderChosen;
    Calls calls;

private:
    std::string showFolderDialog() override { return folderChosen; }
    void closeWindow() override { Form_Unload(); }
    void stopTimer1() override { calls.push_back("stop timer"); }
    void afterUnload() override { calls.push_back("unloaded"); }
};

class MainFormTest : public ::testing::Test {
protected:
    MemoryStore store;
    SettingsProvider settings{store.factory()};
    FakeMainWindow window{settings};
    ControlModel& ctl = window.controls();
};

TEST_F(MainFormTest, LoadShowsTheStoredChoicesAndEachClickStoresAtOnce)
{
    store.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayOrder"] = "1";
    store.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"] = "/music";
    window.Form_Load();
    EXPECT_TRUE(ctl.optDate());
    EXPECT_EQ(ctl.Text1(), "/music");
    EXPECT_TRUE(store.writes.empty());

    window.Text1_Change("/typed");
    EXPECT_EQ(ctl.Text1(), "/typed");
    window.optName_Click();
    window.ckSub_Click(true);
    window.ckRepeat_Click(false);
    EXPECT_EQ(ctl.ckSub(), 1);
    EXPECT_EQ(store.writes, (Calls{"PlayOrder=2", "Sub=1", "Repeat=0"}));

    window.optDate_Click();
    window.ckRepeat_Click(true);
    EXPECT_TRUE(ctl.optDate());
    EXPECT_FALSE(ctl.optName());
    EXPECT_EQ(ctl.ckRepeat(), 1);
    EXPECT_EQ(store.writes, (Calls{"PlayOrder=2", "Sub=1", "Repeat=0", "PlayOrder=1", "Repeat=1"}));
}

// Shuffle Folders, beside the five values: off until chosen, stored at
// once, kept through a new version's defaults, and chosen only while
// Subdirectories is checked.
TEST_F(MainFormTest, ShuffleFoldersIsStoredBesideTheFiveAndNeedsSubdirectories)
{
    window.Form_Load();
    EXPECT_FALSE(ctl.shuffle());
    EXPECT_FALSE(ctl.enabled(Ctl::mnuShuffle));
    EXPECT_FALSE(window.click("mnuShuffle", true) && ctl.shuffle());
    EXPECT_TRUE(store.writes.empty());

    window.ckSub_Click(true);
    EXPECT_TRUE(ctl.enabled(Ctl::mnuShuffle));
    EXPECT_TRUE(window.click("mnuShuffle", true));
    EXPECT_TRUE(ctl.shuffle());
    EXPECT_EQ(store.writes, (Calls{"Sub=1", "ShuffleFolders=1"}));
    window.ckSub_Click(false);
    EXPECT_FALSE(ctl.enabled(Ctl::mnuShuffle));
    EXPECT_TRUE(ctl.shuffle()) << "kept for when Subdirectories comes back";

    store.writes.clear();
    store.values["HKEY_CURRENT_USER\\Software\\Orvane\\Version"] = "2.9.0";
    applyFirstRunRule(settings);
    EXPECT_EQ(std::count(store.writes.begin(), store.writes.end(), "ShuffleFolders=0"), 0);
    FakeMainWindow again(settings);
    again.Form_Load();
    EXPECT_TRUE(again.controls().shuffle());
    again.Form_Unload();
    EXPECT_EQ(std::count_if(store.writes.begin(), store.writes.end(),
                            [](const std::string& w) { return w.rfind("ShuffleFolders", 0) == 0; }),
              0) << "the unload stores the five alone";
}

// Both windows find a control by its name in the layout tables: one missing
// there would silently be neither shown nor greyed.
// Even Loudness, beside the five values: off for a first start and for the
// settings stored today, stored at once, its choice reaching the media
// control's levelling; the preamp read from the stored settings.
TEST_F(MainFormTest, EvenLoudnessIsOffUntilChosenAndReachesTheMediaControl)
{
    store.values["HKEY_CURRENT_USER\\Software\\Orvane\\LoudnessPreamp"] = "40";
    window.Form_Load();
    const std::shared_ptr<Levelling>& levelling = window.mmControl().levelling();
    ASSERT_TRUE(levelling);
    EXPECT_FALSE(ctl.evenLoudness());
    EXPECT_FALSE(levelling->on());
    EXPECT_TRUE(ctl.enabled(Ctl::mnuEvenLoudness));
    EXPECT_TRUE(window.click("mnuEvenLoudness", true));
    EXPECT_TRUE(ctl.evenLoudness());
    EXPECT_TRUE(levelling->on());
    EXPECT_EQ(store.writes, (Calls{"EvenLoudness=1"}));
    // An unknown file at the safe default, with the preamp held at 12 dB.
    EXPECT_NEAR(20.0 * std::log10(levelling->factorFor("/nowhere/none.mp3")), kUnknownGainDb + 12.0, 1e-9);

    store.writes.clear();
    store.values["HKEY_CURRENT_USER\\Software\\Orvane\\Version"] = "2.9.0";
    applyFirstRunRule(settings);
    EXPECT_EQ(std::count(store.writes.begin(), store.writes.end(), "EvenLoudness=0"), 0);
    window.click("mnuEvenLoudness", false);
    EXPECT_FALSE(levelling->on());
    EXPECT_EQ(store.writes.back(), "EvenLoudness=0");
}

TEST(MainLayout, EachModelControlIsInTheLayoutTablesOnce)
{
    std::vector<std::string_view> names;
    for (const layout::Control& c : layout::MainControls)
        names.push_back(c.name);
    for (const layout::TwipsLine& line : layout::MainLines)
        names.push_back(line.name);
    for (const layout::MenuItem& item : layout::PopupMenu)
        names.push_back(item.name);
    for (std::string_view name : names)
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
    for (std::size_t i = 0; i < static_cast<std::size_t>(Ctl::Count); ++i) {
        const Ctl c = static_cast<Ctl>(i);
        if (c != Ctl::Timer1) {
            EXPECT_EQ(std::count(names.begin(), names.end(), std::string_view(ctlName(c))), 1) << ctlName(c);
        }
    }
}

TEST(MainLayout, EveryClickableControlAndMenuItemHasAHandler)
{
    for (const layout::Control& c : layout::MainControls)
        EXPECT_EQ(MainForm::handles(c.name), c.kind != layout::Kind::Heading && c.kind != layout::Kind::TextBox)
            << c.name;
    for (const layout::MenuItem& item : layout::PopupMenu)
        EXPECT_EQ(MainForm::handles(item.name), std::string_view(item.caption) != "-") << item.name;
}

TEST_F(MainFormTest, ClicksByNameRunTheirHandlers)
{
    window.files().addFile("/music/a.mp3");
    ctl.setText1("/music");
    EXPECT_TRUE(window.click("optName"));
    EXPECT_TRUE(window.click("ckSub", true));
    EXPECT_TRUE(window.click("ckRepeat", false));
    EXPECT_EQ(store.writes, (Calls{"PlayOrder=2", "Sub=1", "Repeat=0"}));

    EXPECT_TRUE(window.click("cmdPlay"));
    EXPECT_EQ(window.player().state(), PlayState::Playing);
    window.ui().runTick(); // the tick the start asked for
    EXPECT_EQ(window.mm().opened(), Calls{"/music/a.mp3"});
    EXPECT_TRUE(window.click("mnuPause"));
    EXPECT_EQ(window.player().state(), PlayState::Paused);
    EXPECT_TRUE(window.click("mnuPlay"));
    EXPECT_EQ(window.player().state(), PlayState::Playing);
    EXPECT_TRUE(window.click("cmdStop"));
    EXPECT_EQ(window.player().state(), PlayState::Idle);
    EXPECT_FALSE(window.click("Label2"));
    EXPECT_FALSE(window.click("mnuline"));
}

TEST_F(MainFormTest, BrowseTakesTheChosenFolderWithItsSeparatorAndCancelKeepsThePath)
{
    ctl.setText1("/old");
    window.cmdPath_Click(); // cancelled
    EXPECT_EQ(ctl.Text1(), "/old");
    window.folderChosen = "/srv/music";
    window.cmdPath_Click();
    EXPECT_EQ(ctl.Text1(), "/srv/music/");
    EXPECT_TRUE(store.writes.empty()) << "a chosen path is stored at the unload only";
}

// The program's start with a path: a bad one is shown and refused, and the
// play path the settings keep is the one chosen before; without a path, the
// stored place's own start.
TEST_F(MainFormTest, AStartPathRefusedIsShownButNeverStored)
{
    store.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"] = "/music";
    window.Form_Load();
    window.playAtStart("/nowhere");
    EXPECT_EQ(ctl.Text1(), "/nowhere");
    EXPECT_EQ(window.ui().boxes.size(), 1u);
    window.Form_Unload();
    EXPECT_EQ(store.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"], "/music");

    FakeMainWindow other{settings};
    other.files().addFile("/m/a.mp3");
    other.playAtStart("/m/a.mp3");
    other.ui().runTick();
    EXPECT_EQ(other.mm().opened(), Calls{"/m/a.mp3"});
    other.Form_Unload();
    EXPECT_EQ(store.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"], "/m");
}

TEST_F(MainFormTest, AFolderChosenInTheDialogPlaysAndCancelChangesNothing)
{
    window.files().addFile("/srv/music/a.mp3");
    ctl.setText1("/old");
    window.playFolderChosen(); // cancelled
    EXPECT_EQ(ctl.Text1(), "/old");
    EXPECT_EQ(window.player().state(), PlayState::Idle);
    window.folderChosen = "/srv/music";
    window.playFolderChosen();
    EXPECT_EQ(ctl.Text1(), "/srv/music/") << "as Browse puts it there";
    window.ui().runTick();
    EXPECT_EQ(window.mm().opened(), Calls{"/srv/music/a.mp3"});
}

TEST(CommandLine, APathHelpVersionOrAWrongOption)
{
    using A = CommandLine::Action;
    const struct {
        std::vector<std::string> args;
        CommandLine expected;
    } cases[] = {
        {{}, {A::Run, std::nullopt, {}, false}},
        {{"Album"}, {A::Run, "Album", {}, false}},
        {{"a.mp3", "b.mp3"}, {A::Run, "a.mp3", {}, false}},
        {{"Album", "--version"}, {A::Version, std::nullopt, {}, false}},
        {{"-h"}, {A::Help, std::nullopt, {}, false}},
        {{"--", "--help"}, {A::Run, "--help", {}, false}},
        {{"-"}, {A::Run, "-", {}, false}},
        {{"--play", "Album"}, {A::Wrong, std::nullopt, "--play", false}},
        {{"--choose-folder"}, {A::Run, std::nullopt, {}, true}},
        {{"--choose-folder", "Album"}, {A::Run, "Album", {}, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseCommandLine(c.args), c.expected) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(versionLine(), "Orvane 3.0.0\n");
    EXPECT_EQ(pathErrorLine("orvane", "/x"), "orvane: /x: The Path you have entered is invalid!\n");
}

TEST_F(MainFormTest, ExitRemovesTheTrayIconThenUnloadsOnce)
{
    FakeTrayPlatform tray;
    SysTrayModule module{&tray};
    const bool paused = false;
    FakeTrayWindow trayWindow{module, paused};
    window.attachTray(&trayWindow);
    trayWindow.minimised = true;
    window.Form_Resize(); // the window's resize goes to the tray
    ctl.setEnabled(Ctl::Timer1, true);
    EXPECT_TRUE(window.timer1Runs());
    ctl.setText1("/new");
    EXPECT_TRUE(window.click("mnuAbout"));
    EXPECT_EQ(trayWindow.calls.back(), "about");
    EXPECT_TRUE(window.click("mnuSettings"));
    EXPECT_EQ(trayWindow.calls.back(), "restore");
    trayWindow.minimised = true;
    window.Form_Resize(); // and back to the tray

    window.mnuExit_Click();
    EXPECT_EQ(window.calls, (Calls{"stop timer", "unloaded"})) << "Exit closes the window";
    window.Form_Unload();
    EXPECT_EQ(tray.ops(), (Calls{"add", "delete", "add", "delete"}));
    EXPECT_EQ(window.mm().commands(), Calls{"Close"});
    EXPECT_EQ(store.writes.back(), "PlayPath=/new");
    EXPECT_EQ(window.calls, (Calls{"stop timer", "unloaded"}));
    EXPECT_FALSE(window.timer1Runs()) << "an unloaded window runs no ticks";
}

// The unload keeps the place of a running sequence where the control is,
// marked as a close unless the session's end brought it about.
// Both programs read the share off the window thread: the start then waits
// for the service's answers.
TEST_F(MainFormTest, UnloadKeepsThePlaceAsAClosedOneOrNot)
{
    for (const bool bySession : {false, true}) {
        const auto reads = bySession ? MainForm::FileReads::OffWindowThread : MainForm::FileReads::AtOnce;
        FakeMainWindow w{settings, reads};
        MemoryStore placeValues; // the place's writer has its own, as it has in the registry
        w.keepPlaceIn(std::make_unique<RegistryPlaceStore>(placeValues.factory()), std::chrono::minutes(1));
        w.files().addFile("/m/a.mp3");
        w.controls().setText1("/m");
        w.player().cmdPlay_Click();
        w.player().Timer1_Timer();
        for (int answers = 0; w.mm().commands().size() < 3 && answers < 4 && w.ui().inbox.runOne(); ++answers)
            w.ui().runTick(); // as the window does, when the answer asks for one
        ASSERT_EQ(w.mm().commands(), (Calls{"Close", "Open", "Play"})) << bySession;
        w.mm().positionNow = 5.0;
        if (bySession)
            w.sessionEnds();
        w.Form_Unload();
        const auto place = parsePlace(placeValues.values.at(RegistryPlaceStore::ValuePath));
        ASSERT_TRUE(place) << bySession;
        EXPECT_EQ(place->file, "/m/a.mp3");
        EXPECT_EQ(place->positionMs, 5000);
        EXPECT_EQ(place->running, bySession);
        EXPECT_EQ(w.mm().commands().back(), "Close"); // after the position was taken
    }
}

// A close while a tick looks for the next folder (its yields let the close
// in): the tick gives up there, and nothing opens or is stored as running
// after the unload, so the next start is quiet.
TEST_F(MainFormTest, ACloseDuringATicksFolderSearchEndsTheTickThere)
{
    window.keepPlaceIn(std::make_unique<RegistryPlaceStore>(store.factory()), std::chrono::minutes(1));
    window.files().addFile("/m/a.mp3");
    window.files().addFile("/m/A/x.mp3");
    ctl.setText1("/m");
    ctl.setCkSub(1);
    Player& p = window.player();
    p.cmdPlay_Click();
    p.Timer1_Timer();
    ASSERT_EQ(window.mm().opened(), Calls{"/m/a.mp3"});
    window.mm().finish();
    for (int i = 0; i < 3 && !p.FirstFile.empty(); ++i)
        p.Timer1_Timer(); // the folder played out
    ASSERT_TRUE(p.FirstFile.empty());
    window.ui().atYield(1, [this] { window.Form_Unload(); }); // the search's yield
    p.Timer1_Timer();
    ASSERT_TRUE(window.isUnloaded());
    EXPECT_EQ(window.mm().opened(), Calls{"/m/a.mp3"}) << "nothing opens after the unload";
    EXPECT_EQ(window.mm().commands().back(), "Close");
    const auto place = parsePlace(store.values.at(RegistryPlaceStore::ValuePath));
    ASSERT_TRUE(place);
    EXPECT_FALSE(place->running) << "closed by the user: the next start is quiet";
    EXPECT_EQ(place->file, "/m/a.mp3");
}

// The home folder that holds the place, on a share that stops answering:
// each change waits there until it answers again. Changes asked on the
// thread that made it (the window's) are counted and never wait.
struct StalledHome {
    std::mutex mutex;
    std::condition_variable changed;
    bool answers = false;
    int entered = 0; // changes begun off the window thread
    Calls made;
    int onWindowThread = 0;
    const std::thread::id window = std::this_thread::get_id();

    void answer(bool on)
    {
        {
            std::lock_guard lock(mutex);
            answers = on;
        }
        changed.notify_all();
    }
    // Waits (for as long as it takes) until n changes have begun.
    void awaitEntered(int n)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return entered >= n; });
    }
    Calls madeNow()
    {
        std::lock_guard lock(mutex);
        return made;
    }
};

class StalledPlaceStore : public PlaceStore {
public:
    explicit StalledPlaceStore(std::shared_ptr<StalledHome> home) : home_(std::move(home)) {}
    std::string load() override { return {}; }
    void save(const std::string& text) override { change(text); }
    void forget() override { change("forget"); }

private:
    void change(const std::string& what)
    {
        std::unique_lock lock(home_->mutex);
        if (std::this_thread::get_id() == home_->window) {
            ++home_->onWindowThread;
            home_->made.push_back(what);
            return;
        }
        ++home_->entered;
        home_->changed.notify_all();
        home_->changed.wait(lock, [this] { return home_->answers; });
        home_->made.push_back(what);
        home_->changed.notify_all();
    }

    std::shared_ptr<StalledHome> home_;
};

// The window never waits for the place's store: while its home folder does
// not answer, Play, the ticks that store the position, Pause and the
// unload all go on, and the unload ends within its bound.
TEST_F(MainFormTest, ThePlaceIsStoredOffTheWindowThreadAndAHungHomeNeverHoldsTheUnload)
{
    auto home = std::make_shared<StalledHome>();
    {
        FakeMainWindow w{settings};
        w.keepPlaceIn(std::make_unique<StalledPlaceStore>(home), std::chrono::milliseconds(20));
        w.files().addFile("/m/a.mp3");
        w.controls().setText1("/m");
        w.player().cmdPlay_Click();
        w.player().Timer1_Timer();
        ASSERT_EQ(w.mm().commands(), (Calls{"Close", "Open", "Play"}));
        for (double seconds : {2.0, 4.0, 6.0}) {
            w.mm().positionNow = seconds;
            w.player().Timer1_Timer();
        }
        w.player().cmdPause_Click();
        w.Form_Unload();
        EXPECT_TRUE(w.isUnloaded());
        EXPECT_EQ(home->onWindowThread, 0);
        EXPECT_TRUE(home->madeNow().empty()) << "nothing has got through";
    }
    home->answer(true); // the writer left behind ends when the share comes back
}

// Changes are made in order, but of those waiting only the newest: the
// file system is never asked for a place already overtaken.
TEST(PlaceWriter, MakesOnlyTheNewestWaitingChangeAndWaitsForTheLastAtMostItsBound)
{
    auto home = std::make_shared<StalledHome>();
    auto writer = std::make_unique<PlaceWriter>(std::make_unique<StalledPlaceStore>(home));
    writer->save("first");
    home->awaitEntered(1);
    writer->save("second");
    writer->forget();
    writer->save("third");
    EXPECT_FALSE(writer->finish(std::chrono::milliseconds(0))) << "the home does not answer";
    home->answer(true);
    EXPECT_TRUE(writer->finish(std::chrono::minutes(1)));
    EXPECT_EQ(home->madeNow(), (Calls{"first", "third"}));
    writer->forget();
    EXPECT_TRUE(writer->finish(std::chrono::minutes(1)));
    EXPECT_EQ(home->madeNow(), (Calls{"first", "third", "forget"}));
    EXPECT_EQ(home->onWindowThread, 0);

    // The home hangs again: the end waits its bound, no longer, and leaves
    // the last change to a writer that ends once the share answers.
    home->answer(false);
    writer->save("last");
    home->awaitEntered(4);
    EXPECT_FALSE(writer->finish(std::chrono::milliseconds(20)));
    writer.reset();
    home->answer(true);
    std::unique_lock lock(home->mutex);
    home->changed.wait(lock, [&] { return home->made.size() == 4; });
    EXPECT_EQ(home->made.back(), "last");
}

TEST_F(MainFormTest, TrayPlayPauseAndStopRefreshTheIconSkipDoesNot)
{
    FakeTrayPlatform tray;
    SysTrayModule module{&tray};
    FakeTrayWindow trayWindow{module, window.player().Paused};
    window.attachTray(&trayWindow);
    ctl.setText1("/nowhere"); // Play with a bad path still refreshes
    trayWindow.minimise();

    const std::pair<void (Player::*)(), const char*> steps[] = {
        {&Player::mnuPlay_Click, TrayImagePlaying}, {&Player::mnuPause_Click, TrayImagePaused},
        {&Player::mnuSkip_Click, TrayImagePaused}, {&Player::mnuStop_Click, TrayImagePlaying}};
    std::size_t adds = 1;
    for (auto [click, image] : steps) {
        const bool refreshes = click != &Player::mnuSkip_Click;
        (window.player().*click)();
        adds += refreshes ? 1 : 0;
        const Calls ops = tray.ops();
        EXPECT_EQ(static_cast<std::size_t>(std::count(ops.begin(), ops.end(), "add")), adds);
        EXPECT_EQ(trayWindow.windowImage(), image);
    }
    const std::size_t before = tray.ops().size();
    window.attachTray(nullptr);
    window.player().mnuPlay_Click();
    EXPECT_EQ(tray.ops().size(), before) << "a tray taken away is refreshed no more";
}

// Each media key in each state runs its tray menu twin, tray refresh
// included, exactly when that item could be chosen; an unloaded window takes
// no key at all.
TEST_F(MainFormTest, MediaKeysRunTheirTrayTwinOnlyWhileItCanBeChosen)
{
    enum State { Stopped, Playing, Paused };
    struct Case {
        State state;
        MediaKey key;
        Calls controlGets;   // what the media control receives
        const char* refresh; // the image the tray icon is refreshed with, "" for none
        State after;
    } const cases[] = {
        {Stopped, MediaKey::PlayPause, {"Close"}, TrayImagePlaying, Playing},
        {Stopped, MediaKey::Play, {"Close"}, TrayImagePlaying, Playing},
        {Stopped, MediaKey::Pause, {}, "", Stopped},
        {Stopped, MediaKey::Next, {}, "", Stopped},
        {Stopped, MediaKey::Stop, {"Close"}, TrayImagePlaying, Stopped}, // Stop is never disabled
        {Playing, MediaKey::PlayPause, {"pause"}, TrayImagePaused, Paused},
        {Playing, MediaKey::Play, {}, "", Playing},
        {Playing, MediaKey::Pause, {"pause"}, TrayImagePaused, Paused},
        {Playing, MediaKey::Next, {"Close"}, "", Playing},
        {Playing, MediaKey::Stop, {"Close"}, TrayImagePlaying, Stopped},
        {Paused, MediaKey::PlayPause, {"pause"}, TrayImagePlaying, Playing},
        {Paused, MediaKey::Pause, {}, "", Paused},
        {Paused, MediaKey::Next, {}, "", Paused},
        {Paused, MediaKey::Stop, {"Close"}, TrayImagePlaying, Stopped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << ", key " << static_cast<int>(c.key));
        FakeMainWindow keyed(settings);
        keyed.files().addFile("/music/a.mp3");
        keyed.controls().setText1("/music");
        Player& p = keyed.player();
        FakeTrayPlatform tray;
        SysTrayModule module{&tray};
        FakeTrayWindow trayWindow{module, p.Paused};
        keyed.attachTray(&trayWindow);
        if (c.state != Stopped) {
            p.cmdPlay_Click();
            p.Timer1_Timer();
        }
        if (c.state == Paused)
            p.cmdPause_Click();
        trayWindow.minimise();
        keyed.mm().clear();
        const auto state = [&p] { return p.PlayOn != 1 ? Stopped : p.Paused ? Paused : Playing; };
        ASSERT_EQ(state(), c.state);

        const bool ran = keyed.mediaKey(c.key);
        EXPECT_EQ(keyed.mm().commands(), c.controlGets);
        EXPECT_EQ(ran, !c.controlGets.empty());
        const Calls ops = tray.ops();
        EXPECT_EQ(std::count(ops.begin(), ops.end(), "add"), std::string(c.refresh).empty() ? 1 : 2);
        if (!std::string(c.refresh).empty()) {
            EXPECT_EQ(trayWindow.windowImage(), c.refresh);
        }
        EXPECT_EQ(state(), c.after);

        keyed.Form_Unload();
        keyed.mm().clear();
        EXPECT_FALSE(keyed.mediaKey(MediaKey::Stop));
        EXPECT_TRUE(keyed.mm().commands().empty()) << "the unloaded window's control is left alone";
        keyed.attachTray(nullptr);
    }
}

class FakeLifetime : public ProgramLifetime {
public:
    void runChecks()
    {
        for (; pending > 0; --pending)
            check();
    }
    int shown = 0;
    int pending = 0;
    int ends = 0;

private:
    void checkLater() override { ++pending; }
    bool anyWindowShown() const override { return shown > 0; }
    void endProgram() override { ++ends; }
};

TEST(ProgramLifetime, EndsOnceNoWindowIsLeftAfterTheMainWindowUnloaded)
{
    FakeLifetime lifetime;
    lifetime.shown = 1; // About, while the main window is in the tray
    lifetime.windowGone();
    lifetime.shown = 0;
    lifetime.windowGone();
    lifetime.runChecks();
    EXPECT_EQ(lifetime.ends, 0) << "a main window in the tray is not unloaded";

    lifetime.shown = 1;
    lifetime.mainWindowUnloaded();
    lifetime.windowGone();
    EXPECT_EQ(lifetime.pending, 1) << "one look for many windows gone at once";
    lifetime.runChecks();
    EXPECT_EQ(lifetime.ends, 0);

    lifetime.shown = 0;
    lifetime.windowGone();
    lifetime.runChecks();
    lifetime.windowGone();
    lifetime.runChecks();
    EXPECT_EQ(lifetime.ends, 1);

    FakeLifetime alone; // no other window ever: the unload alone ends it
    alone.mainWindowUnloaded();
    alone.runChecks();
    EXPECT_EQ(alone.ends, 1);
}

} // namespace
} // namespace orvane::test
