#pragma once

#include <cstdint>

namespace orvane {

// What "Close" does to a next file that already sounds where the file before
// it ended, in a media control that plays files without a gap.
//
// Tree repeat starts over with a Stop and a new start, each of which sends
// "Close", while the first file of the new pass may already sound where the
// tree's last file ended. A "Close" that finds only that file sounding
// therefore silences it once the control's thread is back in its event loop,
// unless the open-mode flags of a new start come first: then it sounds on
// until the next "Open", which takes it over if it names it, or silences it.
class SoundingNextFile {
public:
    // Whether a new start holds the file sounding until its "Open".
    bool held() const { return held_; }

    // A "Close" found only the next file sounding. A silencing is due later:
    // the serial to hand back to silenceDue from the event loop, or 0 when
    // one is due already.
    std::uint64_t silenceLater()
    {
        if (due_ != 0)
            return 0;
        due_ = ++serial_;
        return due_;
    }

    // Whether the silencing asked for with this serial is still due.
    bool silenceDue(std::uint64_t serial) const { return serial != 0 && serial == due_; }

    // The open-mode flags: a new start follows the Stop.
    void newStart()
    {
        if (due_ != 0) {
            due_ = 0;
            held_ = true;
        }
    }

    // The file was taken over or silenced, or another opened.
    void clear()
    {
        due_ = 0;
        held_ = false;
    }

private:
    std::uint64_t serial_ = 0;
    std::uint64_t due_ = 0;
    bool held_ = false;
};

} // namespace orvane
