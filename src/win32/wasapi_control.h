#pragma once

#include "media/mm_control.h"
#include "media/sounding_next.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_api.h"

namespace orvane {

// The media control on Media Foundation and WASAPI: every file decoded to
// samples (the encoder's silence cut away) and played through one shared
// stream of the default sound device, which a thread of the control's own
// keeps fed. It belongs to the thread that made it and needs that thread's
// message loop: what the output thread has to say comes as messages to a
// window of the control's own.
//
// "Open" names the file, "Play" plays it from its beginning (or from the
// start position given, the samples before it decoded and dropped), "pause" stops
// and restarts the stream's clock, "Close" stops and drops everything. The
// completion is raised on the window thread, never from inside a command:
// once with NotifySuccessful when the file's last sample has been heard, once
// with NotifyFailure when it could not be opened or decoded, once with
// NotifyNoDevice when the sound device could not be had or went away while it
// played, and never for a file that "Close", "Open" or another "Play" ended
// first.
//
// The next file named while one plays is opened at once and its samples
// follow the playing file's last one in the stream. The "Close" that answers
// the completion leaves it sounding, and the "Open" and "Play" of that very
// file take it over where it is, as do those of a new start that follows a
// Stop at once (SoundingNextFile); any other command drops it. A next file that
// cannot be played is dropped quietly: its own "Play" reports it.
class WasapiControl : public MMDevice {
public:
    enum class NextFile {
        None,    // none named, dropped, or it would not open
        Queued,  // opened, to follow the playing file
        Started, // it sounds; its "Open" and "Play" will take it over
    };

    WasapiControl();
    ~WasapiControl() override;

    WasapiControl(const WasapiControl&) = delete;
    WasapiControl& operator=(const WasapiControl&) = delete;

    // False when Media Foundation could not be had: every "Play" then
    // fails. A sound device may come later: without one, every "Play" fails
    // for want of a device, and looks for one again.
    bool isReady() const;
    // Whether a sound device took the stream as the control started.
    bool hadDeviceAtStart() const;

    void setNextFileName(const std::string& path) override;
    void setNotify(bool notify) override;
    // Seconds into the file heard, negative when none is.
    double position() const override;
    NextFile nextFile() const { return prepared_.state; }

    // The output stream's rate and channels (0 when not ready).
    int outputRate() const;
    int outputChannels() const;

    // Where the last files' samples went in the stream, in stream frames
    // since it last started: a file that follows another without a gap
    // starts where that one ends. Kept for the last few files only.
    struct Placement {
        std::uint64_t id = 0; // the control's own number for the file
        std::int64_t first = 0;
        std::int64_t end = 0;
        bool operator==(const Placement&) const = default;
    };
    std::vector<Placement> placements() const;

private:
    class Output;

    struct Prepared {
        NextFile state = NextFile::None;
        std::string path;
        std::uint64_t id = 0;
        bool heard = false; // its last sample was heard before it was taken over
    };

    void open() override;
    void play() override;
    void togglePause() override;
    void close() override;
    void closeNow();

    void completeLater(int notifyCode);
    void complete(int notifyCode);
    void onEnded(std::uint64_t id);
    void onFailed(std::uint64_t id, int notifyCode);
    void onCompletion(WPARAM serial, LPARAM notifyCode);
    void onSilence(WPARAM serial);
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    std::unique_ptr<Output> output_;
    bool fileOpen_ = false;
    std::string openedPath_;
    std::uint64_t current_ = 0; // the play whose end is due to the player
    std::uint64_t lastId_ = 0;
    bool paused_ = false;
    Prepared prepared_;
    std::uint64_t pendingCompletion_ = 0;
    std::uint64_t completionSerial_ = 0;
    bool answeringDone_ = false;
    SoundingNextFile sounding_;
};

} // namespace orvane
