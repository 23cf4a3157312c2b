#pragma once

// Names of the player's state that do not explain themselves:
//
//   DeviceReady    1 when the media control is free and the next file may be
//                  opened; 0 from the tick that opens a file until that file's
//                  completion or a Skip. It stays 0 through a pause.
//   FirstFileCopy  the tick's own copy of FirstFile (the current folder's
//                  first ".mp3" name, empty when it has nothing more to play),
//                  taken as each tick begins; the tick's tests read the copy,
//                  and FindNextFolder keeps both equal as it moves on.
//   List2          a listing of every play list built, one line per file (its
//                  path and creation date). Nothing reads it; Stop empties it.
//   SysTrayHooked  (modSysTray) 0 while the window is on screen; -1, a
//                  Basic-style True, while the tray's window hook is installed,
//                  that is while the window lives in the tray.

#include "media/mm_control.h"
#include "platform/file_service.h"
#include "platform/file_system.h"
#include "platform/ui_host.h"
#include "player/control_model.h"
#include "player/place.h"
#include "player/round_order.h"
#include "player/sleep_timer.h"
#include "player/start_state.h"
#include "player/tick_hold.h"
#include "player/working_lists.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

inline constexpr const char* PathErrorText = "The Path you have entered is invalid!";
inline constexpr const char* PathErrorTitle = "Path Error";
inline constexpr int Timer1IntervalMs = 250;

// Tray images, by the name appended to the program folder.
inline constexpr const char* TrayImagePlaying = "Volume02.ico";
inline constexpr const char* TrayImagePaused = "Volume03.ico";

// The playing logic of the main window: the player state, the working lists,
// the control model, and every handler that acts on them. It knows nothing of
// Qt or libmpv; it sees the world through MMControl, FileSystem and UiHost.
//
// Given a FileService that answers later, no handler waits for the file
// system: a read whose answer is not there yet ends the handler's work for
// now (a tick returns, a new start waits with the hourglass), and the
// answer's arrival goes on from where it stopped. Meanwhile every handler may
// run, as in a yield. Given a plain FileSystem, every read answers at once.
class Player {
public:
    Player(MMControl& mmControl, FileSystem& fs, UiHost& ui);
    Player(MMControl& mmControl, FileService& files, UiHost& ui);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    ControlModel& controls() { return controls_; }
    const ControlModel& controls() const { return controls_; }

    // Transport and sequencer entry points.
    void cmdPlay_Click();
    void cmdPause_Click();
    void cmdSkip_Click();
    void cmdStop_Click();
    void Timer1_Timer();
    void MMControl1_Done(int notifyCode);

    // The tray menu's twins; Play, Pause and Stop then refresh the tray icon.
    void mnuPlay_Click();
    void mnuPause_Click();
    void mnuSkip_Click();
    void mnuStop_Click();
    // Run after a tray command with the image name the tray should now show.
    std::function<void(const std::string& imageName)> trayRefresh;

    // Sends "Close" to the media control: whatever was open stops.
    void closeControl();

    // The file the player last started with "Open" and "Play", until its
    // completion, a Skip, Stop or any other "Close"; empty when none. Unlike
    // NextFile, which names the entry at the cursor, this is the file heard
    // (or paused). The signal is raised when it changes, and whenever the
    // media control says its own account (MMControl::nowPlaying) may have.
    const std::string& playing() const { return playing_; }
    Signal<>& nowPlayingChanged() { return nowPlayingChanged_; }

    // Sleep: the music goes quiet by itself (see SleepTimer). The signal is
    // raised whenever sleepText() may have changed.
    void chooseSleep(SleepTimer::Choice choice);
    const SleepTimer& sleep() const { return sleep_; }
    std::string sleepText() const { return sleep_.text(ui_.steadyNow()); }
    Signal<>& sleepChanged() { return sleepChanged_; }

    // Seeking in the file heard (or paused): whether it can be now; a move
    // to seconds in (before its start: its start; at or past its end: the
    // next file, as Skip, while Skip can be chosen), or by seconds from
    // where it is. Each is stored into the place at once. False when
    // nothing was moved. The signal is raised after each move within a
    // file, with where it went.
    bool canSeek() const;
    bool seekTo(double seconds);
    bool seekBy(double seconds);
    Signal<double>& seeked() { return seeked_; }

    // The place the sequence has got to, kept across the program's end.
    PlaceKeeper& place() { return place_; }
    // The order of the round under way when it shuffles its folders (Shuffle
    // Folders with Subdirectories, as the round started); none otherwise.
    const std::optional<ShuffledRound>& round() const { return round_; }
    // Where each shuffled round's seed comes from: the system's randomness,
    // unless a test sets it.
    std::function<std::uint64_t()> drawSeed;
    // At start: a sequence the program ended abnormally in plays on by itself
    // from its place, paused when it was paused. Whether it did; on a file
    // system that answers later, it may do so once the answers are in, unless
    // the user has pressed Play or Stop meanwhile.
    bool playOnByItself();
    // The window unloads: the place is kept as it is now (closedByUser: by
    // the window's close or Exit), the control is closed, and a handler still
    // in one of its yields ends there, so that nothing opens afterwards.
    void programEnds(bool closedByUser);

    // A folder or ".mp3" file given from outside the window, by its absolute
    // path (see resolvePlayStart): it becomes the play path and plays at once,
    // as Play after typing it would, with the options as they are; a file
    // plays its folder from that file. A running sequence ends first. A path
    // that names neither is refused as Play refuses a typed one, and changes
    // nothing else. Where the file system answers later, it is taken up as
    // its answers come; the user's Stop, or a newer request, drops it
    // meanwhile. answer, when given, is told once whether the path plays
    // (true) or was refused or dropped (false); a path refused then shows no
    // box and changes nothing at all, for the caller to report.
    using RequestAnswer = std::function<void(bool plays)>;
    void playRequested(const std::string& path, RequestAnswer answer = nullptr);
    // Raised with a refused path, as the error box comes up.
    Signal<const std::string&>& pathRefused() { return pathRefused_; }
    // The play path box's text as the settings are to keep it: a refused
    // path shown there was never chosen, and while it stays there the text
    // it replaced is the one kept.
    std::string playPathToStore() const;

    // Play list builder.
    void WalkFolders();
    std::string ProbeFolder(const std::string& pattern);
    bool FindNextFolder(); // false when List1 is used up, or a Stop came during its yield
    void BuildPlayList();

    // Player state: plain members, as every handler reads and writes them.
    int PlayOn = 0;
    int DeviceReady = 0;
    std::int64_t PlayIndex = 0;
    std::string NextFile;
    std::string FirstFile;
    std::string FirstFileCopy;
    std::int64_t FolderIndex = 0;
    bool BuildList = false;
    bool Paused = false;
    std::optional<std::vector<PlayListEntry>> PlayList; // no table until the first build

    // Working lists.
    SortedList List1;
    BuildListing List2;
    FileList File1;

    PlayState state() const { return playState(PlayOn, Paused); }
    bool inTick() const { return tickRunning_; }
    // True while a pass that played nothing holds back the next one.
    bool passWaits() const { return hold_.passWaits(); }
    // True while a new start waits for the file system to answer.
    bool startWaits() const { return start_.stage() == StartState::Stage::Waiting; }
    // True from a file that failed for want of a sound device until a file
    // plays to its end again: the sequence keeps its place and tries again now
    // and then.
    bool waitsForDevice() const { return hold_.waitsForDevice(); }
    // True while the play path has gone from under a playing sequence (a
    // medium taken away): it waits at the file it had reached.
    bool waitsForPlayPath() const { return hold_.why() == TickHold::Why::Medium; }

private:
    // files, or where it is null the service owned.
    Player(MMControl& mmControl, std::unique_ptr<FileService> own, FileService* files, UiHost& ui);
    void newStart(bool quiet = false, bool byItself = false, bool paused = false);
    void beginStart();
    void startNow(const StartState::Frame& start);
    bool playPathFound(bool quiet);
    void beginSequence(const StartState::Frame& start);
    void dropStoppedWalk();
    bool listPlayPath();
    bool startAnswersReady(bool quiet);
    bool askStartAhead();
    void lookIntoNextRound();
    void readForNextRound(const std::string& folder);
    void needFolder(const std::string& folder);
    void arriveAt(const std::string& folder);
    void fileAnswered();
    void takeWaitingAnswers();
    void continueWalk();
    void lookAhead();
    std::string nextFileHint();
    void nameFolderAhead(const std::vector<PlayListEntry>& table);
    std::int64_t indexOfFolderOf(const std::string& path) const;
    void stopAtTreeEnd();
    std::uint64_t walkPlayPath(bool quiet);
    void startWalk();
    bool walkStep();
    std::size_t walkFrom(const std::string& folder, std::vector<std::string>& names) const;
    void walkRest(std::uint64_t walk);
    void endWalk();
    std::string folderAt(std::int64_t index);
    void resume();
    void tick();
    bool tickHeld();
    void treeEnded();
    void buildFolderList();
    void openAtCursor();
    bool folderPlayedOut();
    std::int64_t playListCount() const;
    bool singleFolderRepeat() const;
    bool treeRepeat() const;
    std::string playPathPattern() const; // the start folder's
    std::string startFolder() const;
    void prepareRound(bool quiet);
    void chooseRoundFirst();
    std::string firstFolderFor(std::uint64_t seed);
    std::uint64_t nextRoundSeed();
    bool holdsMusic(const std::string& folder);
    std::vector<std::string> subfolderNamesOf(const std::string& folder);
    std::vector<std::string> subfoldersOf(const std::string& folder);
    std::string roundFolderAt(std::int64_t index);
    bool roundKnown();
    bool cursorPastEnd() const;
    std::string walkRoot() const;
    void endChecks();
    bool yieldInTick(std::uint64_t stopsBefore);
    void readFolderAgain();
    void endPass();
    bool passHeld();
    void restartTree();
    bool treeRepeatHeld();
    void awaitPlayPath();
    void awaitDevice(const std::string& heard);
    bool playPathChecked();
    void awaitMedium();
    bool skipDeviceWait();
    class PassLook;
    std::vector<PlayListEntry> entriesOf(const FileList& files);
    std::string followingFile();
    std::string firstFileAfter(std::int64_t folderIndex, bool nextRound = false);
    void askForTick();
    void setPlaying(const std::string& path);
    bool takeRequest();
    void refuseRequest(const std::string& path);
    void sleepTick();
    void endSleep();
    void fadeOut();
    bool pauseAtEnd();
    void sleepTextMayChange();
    std::string joinPath(const std::string& folder, const std::string& name) const;

    std::unique_ptr<FileService> ownFiles_; // the plain file system, read at once
    MMControl& MMControl1;
    FileService& fs_;
    UiHost& ui_;
    ControlModel controls_;
    PlaceKeeper place_;
    StartState start_; // where a start has got to: which answer goes where
    std::string playing_;
    Signal<> nowPlayingChanged_;
    Signal<>::Handle controlHeard_ = 0;
    Signal<>::Handle filesHeard_ = 0;

    // Waiting for the file system.
    std::optional<std::uint64_t> roundMark_; // the look-ahead has read for the next round since this mark
    std::vector<std::string> roundRead_;     // the folders read afresh for the next round since that mark
    // The folder the search for the next folder has reached, and the mark as
    // it first got there: a failure read before is asked again, once.
    struct Arrival {
        std::int64_t index = 0;
        std::string folder;
        std::uint64_t mark = 0;
    };
    std::optional<Arrival> arrival_;
    // Not the start's state but re-entrancy: a handler on the stack (a tick,
    // or a start in its yields) puts off what comes meanwhile until it
    // returns; these note what there is to take up then.
    bool answerWaiting_ = false;             // answers came while a tick or a start ran
    bool rereadAsked_ = false;               // the repeated folder's new reading has been asked for
    bool hintUnknown_ = false;               // the next-file hint waits for answers
    std::int64_t hintFolder_ = 0;            // where the sequence was when the hint was left unknown
    std::int64_t hintIndex_ = 0;

    // The walk as it goes on. List1 is filled in its own order, a folder
    // before everything inside it, by entering each folder only when the
    // folders before it are known; so far as it has got, List1 is exactly
    // what the whole walk will make of it (from the place's folder on, for
    // a start that goes on from a place).
    struct WalkLevel {
        std::string folder;             // one folder's path
        std::vector<std::string> names; // its subfolders' names
        bool sorted = false;            // sorted only when the walk reaches them
        std::size_t next = 0;
    };
    std::vector<WalkLevel> walkLevels_;         // the subfolders still to come, deepest last
    // A start that goes on from a place goes straight down to the place's
    // folder: the folders before it, which it would pass unheard, are left
    // out of this round's List1 (empty: none).
    std::string walkToward_;
    bool walkLeftOut_ = false; // and has left some out: the next round's List1 differs from this one's
    std::optional<std::string> walkUnlisted_;   // the last folder put into List1, not yet listed
    bool walkOpen_ = false;                     // List1 is not complete yet
    std::uint64_t walkSerial_ = 0;              // one number per walk: a newer walk ends an older one
    bool tickRunning_ = false;
    std::uint64_t stops_ = 0; // Stops so far, to tell a tick that one came during its yields
    bool tickAsked_ = false;  // a tick was asked for since the last one began (see answerWaiting_)

    // What holds the ticks back, and why (see TickHold).
    TickHold hold_;
    // Looking whose call is out, since when; and the answer that set the
    // looking after it going, when: the pass's time counts them (PassLook).
    std::optional<std::chrono::steady_clock::time_point> lookOutSince_;
    std::optional<std::chrono::steady_clock::time_point> lookAnsweredAt_;
    std::string deviceWaitFile_;       // the file under the cursor that waits for its device

    // A path from outside that waits for the file system's answers.
    struct Request {
        std::string path;
        RequestAnswer answer;
    };
    std::optional<Request> request_;
    void dropRequest();
    struct Refused {
        std::string shown;  // the refused path, as the play path box shows it
        std::string before; // what the box held before
    };
    std::optional<Refused> refused_;
    Signal<const std::string&> pathRefused_;
    // A round of shuffled folders: its order is its first folder (known as
    // it starts) and then, once the walk is complete, the rest of the tree
    // by their keys. FolderIndex 0 is the folder the start plays first: the
    // round's first, or the stored place's folder where the start plays on
    // from one, which plays at once, its place in the round found once the
    // walk is complete; FolderIndex counts on from there.
    std::optional<ShuffledRound> round_;
    std::string roundResume_;     // the stored place's folder it plays on from; empty: its first
    RoundIndex roundIndex_;       // the round over List1; built once the walk is complete
    std::int64_t roundShift_ = 0; // the place in the round of FolderIndex 0
    std::string lastHeardFolder_;         // where the last file opened was: not the next round's first
    std::optional<std::uint64_t> nextSeed_; // the next new round's, once the look-ahead has needed it
    SleepTimer sleep_;
    std::string sleepText_; // as last told
    Signal<> sleepChanged_;
    Signal<double> seeked_;
};

// Counts some looking (a folder listed or probed, a file opened) towards the
// pass under way: its folders towards the pass's work, and the time it took
// towards the pass's time, from which the wait after a pass that played
// nothing is reckoned. Where the file system answers later, the time runs on
// from the look until its answer comes (the worker's part of the looking),
// and from that answer to the look it sets going.
class Player::PassLook {
public:
    PassLook(Player& player, std::int64_t folders)
        : player_(player), start_(player.ui_.steadyNow()), mark_(player.fs_.mark())
    {
        if (player_.lookAnsweredAt_)
            start_ = *std::exchange(player_.lookAnsweredAt_, std::nullopt);
        player_.hold_.looked(folders, {});
    }
    ~PassLook()
    {
        if (player_.fs_.mark() != mark_) {
            // A call asked in here is out: the time counts until its answer.
            if (!player_.lookOutSince_)
                player_.lookOutSince_ = start_;
            return;
        }
        player_.hold_.looked(0, player_.ui_.steadyNow() - start_);
    }
    PassLook(const PassLook&) = delete;
    PassLook& operator=(const PassLook&) = delete;

private:
    Player& player_;
    std::chrono::steady_clock::time_point start_;
    std::uint64_t mark_;
};

} // namespace orvane
