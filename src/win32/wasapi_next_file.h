#pragma once

#include "win32/wasapi_stream.h"

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {

// The file named to follow the one that plays, from its name to its
// take-over. It is opened in the stream at once, behind the playing file,
// so that its first sample follows that file's last; once the playing file
// has been heard to its end, it sounds. A next file that cannot be played is
// dropped quietly: its own "Play" reports it.
class WasapiNextFile {
public:
    enum class State {
        None,    // none named, dropped, or it would not open
        Queued,  // opened, to follow the playing file
        Started, // it sounds; its "Open" and "Play" will take it over
    };

    // What the control takes over once the next file sounds.
    struct Taken {
        std::uint64_t entry = 0;
        bool heard = false; // its last sample was heard before it was taken over
    };

    // canFollow tells whether a file plays now that a next one may follow.
    WasapiNextFile(WasapiStream& stream, std::function<bool()> canFollow);

    // Names the next file (a path as the player gives it), or none. One
    // named while another already sounds waits until that one is taken over.
    void name(const std::string& path);
    // Forgets the next file. Unless the stream is about to be stopped or
    // replaced anyway, it also leaves the stream.
    void drop(bool stopping);
    Taken take();

    State state() const { return state_; }
    bool startedAs(const std::string& path) const { return state_ == State::Started && path_ == path; }
    bool isEntry(std::uint64_t entry) const { return entry != 0 && entry == entry_; }

    // The playing file has been heard to its end: a queued next file sounds.
    void playingEnded();
    // The stream's report on the entry of the next file; false for any
    // other entry.
    bool entryEnded(std::uint64_t entry, WasapiStream::End end);

private:
    void forget();

    WasapiStream& stream_;
    std::function<bool()> canFollow_;

    State state_ = State::None;
    std::string path_;
    std::uint64_t entry_ = 0;
    bool heard_ = false;
};

} // namespace orvane
