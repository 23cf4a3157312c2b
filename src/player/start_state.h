#pragma once

#include <cstdint>
#include <utility>

namespace orvane {

// Where a start of the sequence has got to, and so where the file system's
// next answer goes. One start at most is in progress: a newer one (the user's
// Play while the program's own start checks its place, a Play made in the
// yields of a start under way, the next round of a repeated tree) takes over
// from an older one, whose handler, when it comes back from its yields, finds
// it is no longer the start in progress and leaves the state alone.
//
//   None ──checkPlace──▶ PlaceCheck ──placeChecked──▶ None (then, maybe, ask)
//   any ───ask──▶ Waiting ──enter──▶ Settling ──settled──▶ Walking ──leave──▶ None
//                    ▲                  │
//                    └──────wait────────┘ (what it reads is still to come)
//   stop: any ──▶ None
//
// What the user asks for always wins over what the program does by itself:
// ask and stop end a place check, whose answer then goes nowhere.
class StartState {
public:
    enum class Stage {
        None,       // no start: answers go on with the walk, the look-ahead and the tick
        PlaceCheck, // the program's start checks the stored place's play path: its answer plays on by itself
        Waiting,    // a start waits to run with what it reads of the play path: answers go to it
        Settling,   // a start runs until its play path is listed: ticks wait, and answers wait for its end
        Walking,    // its first tick and the rest of its walk run in its yields: answers wait for its end
    };

    // What a start's handler carries through its yields: which start it runs,
    // and that start's choices.
    struct Frame {
        std::uint64_t serial = 0;
        bool quiet = false;    // the next round of a repeated tree, in the playing arrangement
        bool byItself = false; // it plays on from the stored place by itself
        bool paused = false;   // and comes back paused, as the place was left
    };

    Stage stage() const { return stage_; }
    bool quiet() const { return start_.quiet; }
    // A start asked for has yet to reach its play path's files: the sequence
    // does not move meanwhile.
    bool holdsTicks() const { return stage_ == Stage::Waiting || stage_ == Stage::Settling; }
    // A start's handler is still in its yields (the newest one or one taken
    // over): answers that come meanwhile are taken up once it returns.
    bool running() const { return frames_ > 0; }
    bool current(const Frame& frame) const
    {
        return frame.serial == start_.serial && (stage_ == Stage::Settling || stage_ == Stage::Walking);
    }

    void checkPlace()
    {
        if (stage_ == Stage::None)
            stage_ = Stage::PlaceCheck;
    }
    // Whether the check was still wanted: nothing has been asked for since.
    bool placeChecked()
    {
        if (stage_ != Stage::PlaceCheck)
            return false;
        stage_ = Stage::None;
        return true;
    }

    void ask(bool quiet, bool byItself, bool paused)
    {
        start_ = {start_.serial + 1, quiet, byItself, paused};
        stage_ = Stage::Waiting;
    }
    // The waiting start runs now; its handler holds the frame until leave.
    Frame enter()
    {
        ++frames_;
        stage_ = Stage::Settling;
        return start_;
    }
    // What it reads is still to come: it waits again. True when the
    // hourglass is to be shown now, once, for a start the user sees.
    bool wait()
    {
        stage_ = Stage::Waiting;
        const bool show = !start_.quiet && !hourglass_;
        hourglass_ = hourglass_ || !start_.quiet;
        return show;
    }
    // Everything it reads is there. True when the hourglass shown while it
    // waited is to be taken back.
    bool ready() { return std::exchange(hourglass_, false); }
    void settled(const Frame& frame)
    {
        if (current(frame))
            stage_ = Stage::Walking;
    }
    void leave(const Frame& frame)
    {
        --frames_;
        if (current(frame))
            stage_ = Stage::None;
    }
    // Stop, or the program's end. True when the hourglass of a waiting start
    // is to be taken back.
    bool stop()
    {
        stage_ = Stage::None;
        return std::exchange(hourglass_, false);
    }

private:
    Stage stage_ = Stage::None;
    Frame start_;            // the start in progress, or the last one
    bool hourglass_ = false; // shown while a start the user sees waits
    int frames_ = 0;         // starts' handlers in their yields
};

} // namespace orvane
