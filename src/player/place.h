#pragma once

#include "media/mm_control.h"
#include "player/round_order.h"
#include "player/working_lists.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// Where a running sequence has got to, kept across the program's end so that
// the music goes on from there: the choices the sequence was started with,
// the file heard and how far into it, and how the program ended.
struct Place {
    std::string playPath; // as typed when the sequence started
    bool dateOrder = false;
    int sub = 0;
    std::string folder; // the folder the sequence was playing, as the folder list names it
    std::string file;   // the file heard, full path
    // Its creation date: where it stood in date order once it is gone, and
    // what tells it from a file made anew under its name since.
    DateTime created{};
    std::int64_t positionMs = 0;
    bool paused = false;
    // The program was still running with this place when it was last
    // stored: it did not close (a crash, a kill, a power cut, the session's
    // end), so the next start plays on by itself.
    bool running = false;
    // Played on by itself at the last start, and the sequence has not moved
    // to another file since: if that start ends abnormally too, the file may
    // be what ends it, and it is not played on by itself again.
    bool byItself = false;
    // Play goes on from the file after this one.
    bool passFile = false;
    // The round shuffled its folders: it goes on in the order of this round.
    std::optional<ShuffledRound> round;

    bool operator==(const Place&) const = default;
};

// The stored form: plain lines of ASCII, with a check that a damaged or
// half-written copy fails. Nothing when the text is not a whole place.
std::string placeText(const Place& place);
std::optional<Place> parsePlace(const std::string& text);

// Where a program keeps the place, beside its settings and as safely.
class PlaceStore {
public:
    virtual ~PlaceStore() = default;
    // The stored text; empty when there is none. May throw.
    virtual std::string load() = 0;
    // Replaces the stored text whole, or leaves the old text. May throw.
    virtual void save(const std::string& text) = 0;
    // No place is stored afterwards. May throw.
    virtual void forget() = 0;
};

// The place's rules, for the player. It is stored at each change of file, at
// Pause and resume, every few seconds of a file heard, and when the program
// ends; Stop forgets it. A Play made with the choices it was made with plays
// on from it, and it steers the sequence there: past the folders before its
// folder, to its file (or what follows a file or folder that is gone), into
// that file at its position.
class PlaceKeeper {
public:
    // Seconds of a file heard between two stores of its position.
    static constexpr double StoreEverySeconds = 2.0;
    // A file played on from its place starts this much before it, so that
    // the listener picks up the thread (a sentence of an audiobook) rather
    // than coming in mid-word.
    static constexpr std::int64_t PlayOnBeforeMs = 2000;

    explicit PlaceKeeper(MMControl& control) : control_(control) {}

    // The store the place lives in; what it holds is read now. Null: nothing
    // is kept.
    void keepIn(PlaceStore* store);
    const std::optional<Place>& stored() const { return stored_; }

    // At start: the stored place when the program ended abnormally while it
    // played, to be played on by itself; it is marked as played on by itself
    // at once. A place played on by itself before and ended abnormally again
    // on the same file is not given: Play goes on after that file.
    // reachable: whether the play path can be played now; one that cannot
    // keeps the place for a later start.
    std::optional<Place> toPlayOnByItself(const std::function<bool(const std::string&)>& reachable);

    // A new start with these choices. byItself: the start made at program
    // start. quiet: the next round of a repeated tree, which never plays on
    // from a place.
    // round: the round's shuffled order, when it shuffles.
    void sequenceStarts(const std::string& playPath, bool dateOrder, int sub, bool quiet, bool byItself = false,
                        const std::optional<ShuffledRound>& round = std::nullopt);
    // The stored place a start with these choices plays on from (one that
    // shuffles, when shuffled), if any.
    const Place* goesOnFrom(const std::string& playPath, bool dateOrder, int sub, bool shuffled) const;
    // The next start of playPath goes to file of that folder (empty: as the
    // stored place says), whatever place is stored, until the first file it
    // opens replaces that place. Forgotten by a start of another play path
    // and by forget.
    void startsAt(const std::string& playPath, const std::string& file);
    // Whether the next start of playPath goes to a file named by startsAt.
    bool startsAtFileOf(const std::string& playPath) const
    {
        return startFile_ && startFile_->first == playPath && !startFile_->second.empty();
    }
    bool seeking() const { return target_.has_value(); }
    // The folder a sequence in path order is on its way to: every folder
    // that sorts before it is passed unheard. Null when there is none.
    const std::string* seekingFolder() const { return target_ && !target_->round ? &target_->folder : nullptr; }
    // While seeking, with the play list of the folder the sequence has come
    // to: the index to go on from (the list's size passes the folder).
    std::int64_t steer(const std::string& folder, const std::vector<PlayListEntry>& list, bool dateOrder);
    // The sequence opens entry of folder; called between "Open" and "Play".
    void opening(const std::string& folder, const PlayListEntry& entry);
    void pauseChanged(bool paused);
    // The file heard has been moved to this many seconds in: stored at once.
    void sought(double seconds);
    // The file heard has ended and the sequence pauses before the next one:
    // Play, now or after the program's end, goes on with the file after it.
    void pausedAfterFile();
    // The sound device went away under the file heard: the next opening of
    // that file (and only the next, and only of that file) plays on from
    // where it was, as a place is played on.
    void deviceLost();
    // The file that waits for its device is passed over: it is not played on.
    void lostPassed() { lostDue_ = false; }
    // Each tick: notes the position of a file heard, and stores it every few
    // seconds.
    void tick();
    void forget();
    // The program ends; closedByUser: through its window's close or Exit.
    void programEnds(bool closedByUser);

private:
    void store(const Place& place);
    void dropWay();
    void takePosition();
    std::int64_t takeLost(const std::string& file);

    MMControl& control_;
    PlaceStore* store_ = nullptr;
    std::optional<Place> stored_;       // what the store holds
    std::optional<Place> target_;       // the place this sequence goes on from
    bool targetIsFile_ = false;         // the target names a file to start at, not a place heard
    std::optional<std::pair<std::string, std::string>> startFile_; // the next start's play path and file
    std::optional<std::int64_t> startAtMs_; // the position the next opening starts at
    Place sequence_;                    // the running sequence's choices
    std::optional<Place> live_;         // the place of the running sequence
    bool byItself_ = false;             // this sequence was started by itself
    double storedAt_ = 0.0;             // the position last stored, in seconds
    // The file heard when the sound device went, and the furthest it got:
    // tries that fail again at once never move it back.
    std::optional<Place> lost_;
    bool lostDue_ = false; // its next opening plays on from there
};

} // namespace orvane
