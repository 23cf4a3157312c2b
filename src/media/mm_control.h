#pragma once

#include "media/levelling.h"
#include "platform/signal.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// The multimedia control the player drives, one file at a time: set FileName,
// then the commands "Open" and "Play"; "pause" toggles pause and resume on the
// open file; "Close" stops and closes (harmless when nothing is open).
// Completion reaches the player through the done handler, on the window thread.
class MMControl {
public:
    // Notification codes handed to the done handler.
    static constexpr int NotifySuccessful = 1;
    static constexpr int NotifySuperseded = 2;
    static constexpr int NotifyAborted = 4;
    static constexpr int NotifyFailure = 8;
    // Not the file's fault: there is no sound device to play it on (none at
    // all, or the one in use has gone). The same file may play once one is back.
    static constexpr int NotifyNoDevice = 16;

    using DoneHandler = std::function<void(int notifyCode)>;

    // What is known of the file being heard, for the desktop's media controls.
    // An empty path: nothing is being heard.
    struct NowPlaying {
        std::uint64_t serial = 0; // a new number for each "Play"
        std::string path;         // as the control was told to open it
        std::string title;        // the file's tags; empty where it has none
        std::string artist;
        std::string album;
        std::int64_t lengthUs = -1; // unknown until the file is loaded
        bool operator==(const NowPlaying&) const = default;
    };

    virtual ~MMControl() = default;

    virtual void setCommand(const std::string& command) = 0;
    virtual void setFileName(const std::string& path) = 0;
    virtual void setNotify(bool notify) = 0;
    virtual void setWait(bool wait) = 0;
    virtual void setShareable(bool shareable) = 0;

    // Names the file the player will open after the open one, or empty text
    // when that is not known. Only a hint: the file is still opened with
    // FileName, "Open" and "Play", and a control that can may use the hint to
    // have that file follow without a gap. It never plays the named file
    // unless that "Open" names it, and it never ends the open file early for
    // it. A control that cannot prepare files ignores the hint.
    virtual void setNextFileName(const std::string& /*path*/) {}

    // Names the files of a folder that plays now or soon, in the order it
    // plays them: only a hint, with which a control that levels has the
    // folder measured ahead (its gain is that of the files together), as
    // its own paths (levelFolderAhead). The same folder may be named again.
    // A control that cannot level ignores it; one that wraps another hands
    // it on.
    virtual void setFolderAhead(const std::vector<std::string>& /*paths*/) {}

    // The next "Play" starts its file this many seconds in rather than at its
    // beginning; that one "Play" only, after which files start at their
    // beginnings again. A position at or past the file's end plays nothing
    // of it, and the file completes as at its end. Every control can.
    virtual void setStartPosition(double seconds) { startAt_ = seconds > 0.0 ? seconds : 0.0; }

    // Each file's level: a control that can applies levelOf(path) to the
    // file's samples from its first one (a file that follows without a gap
    // included), asking once per file as it opens the file or prepares it
    // to follow; one that cannot leaves its files as they are.
    // A control that wraps another hands the levelling on to it.
    virtual void setLevelling(std::shared_ptr<Levelling> levelling) { levelling_ = std::move(levelling); }
    const std::shared_ptr<Levelling>& levelling() const { return levelling_; }

    // Raised once when a file started with "Play" has ended by itself (or could
    // not be played at all, with NotifyFailure, or NotifyNoDevice when the
    // device failed rather than the file); never for a file that "Close"
    // interrupted.
    void setDoneHandler(DoneHandler handler) { done_ = std::move(handler); }

    // Optional: a control that cannot tell leaves these empty. The signal is
    // raised whenever nowPlaying() may have changed. Which file the player
    // has opened is the player's own (Player::playing()); what a control adds
    // is what it learns of the file it plays.
    virtual NowPlaying nowPlaying() const { return {}; }
    virtual double position() const { return -1.0; } // seconds into the file heard

    // Whether the file heard (or paused) can be moved within now. A control
    // that cannot seek at all leaves it false.
    virtual bool canSeek() const { return false; }
    // Moves the file heard to this many seconds in, playing or paused as it
    // was; the file named as the next one still follows it without a gap. A
    // position at or past its end completes it as at its end. Ignored while
    // canSeek() is false.
    virtual void seek(double /*seconds*/) {}
    // How loud every file sounds from now on, 0 (silence) to 1 (as the file
    // is); it stays so across files until set again.
    virtual void setVolume(double /*level*/) {}
    Signal<>& nowPlayingChanged() { return nowPlayingChanged_; }

protected:
    void raiseDone(int notifyCode)
    {
        if (done_)
            done_(notifyCode);
    }
    void raiseNowPlayingChanged() { nowPlayingChanged_.notify(); }
    // The factor for the file's samples; nothing while levelling is off, so
    // that a file then plays exactly as it would without it.
    std::optional<double> levelOf(const std::string& path,
                                  std::chrono::milliseconds wait = std::chrono::milliseconds(300)) const
    {
        if (!levelling_ || !levelling_->on())
            return std::nullopt;
        return levelling_->factorFor(path, wait);
    }
    // The file will be asked for soon: its tags are read ahead.
    void levelAhead(const std::string& path) const
    {
        if (levelling_ && levelling_->on() && !path.empty())
            levelling_->ahead(path);
    }
    // The folder's files (as this control's own paths) are measured ahead.
    void levelFolderAhead(const std::vector<std::string>& paths) const
    {
        if (levelling_ && levelling_->on() && !paths.empty())
            levelling_->aheadFolder(paths);
    }
    // The position the "Play" at hand starts at; 0 from then on.
    double takeStartPosition() { return std::exchange(startAt_, 0.0); }

private:
    DoneHandler done_;
    std::shared_ptr<Levelling> levelling_;
    double startAt_ = 0.0;
    Signal<> nowPlayingChanged_;
};

// A control that plays through a device of its own: the four commands become
// calls, and FileName is kept for "Open". Notify, wait and share mean nothing
// to such a device: it always reports the end of a file, and never blocks.
class MMDevice : public MMControl {
public:
    void setCommand(const std::string& command) override
    {
        if (command == "Open")
            open();
        else if (command == "Play")
            play();
        else if (command == "pause")
            togglePause();
        else if (command == "Close")
            close();
    }
    void setFileName(const std::string& path) override { fileName_ = path; }
    void setNotify(bool) override {}
    void setWait(bool) override {}
    void setShareable(bool) override {}

protected:
    const std::string& fileName() const { return fileName_; }

private:
    virtual void open() = 0;
    virtual void play() = 0;
    virtual void togglePause() = 0;
    virtual void close() = 0;

    std::string fileName_;
};

} // namespace orvane
