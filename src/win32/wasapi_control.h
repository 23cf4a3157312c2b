#pragma once

#include "media/mm_control.h"
#include "media/sounding_next.h"
#include "win32/wasapi_next_file.h"
#include "win32/wasapi_stream.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_api.h"

namespace orvane {

// The media control on Media Foundation and WASAPI: every file decoded to
// samples and played through one shared stream of the default sound device
// (WasapiStream). It belongs to the thread that made it and needs that
// thread's message loop: the stream's reports and the control's own
// completions come as messages.
//
// "Open" names the file, "Play" plays it from its beginning (or from the
// start position given, sought there), "pause" stops and restarts the
// stream's clock, "Close" stops and drops everything; none of them waits
// for a file, however long its share takes to answer. The
// completion is raised on the window thread, never from inside a command:
// once with NotifySuccessful when the file's last sample has been heard, once
// with NotifyFailure when it could not be opened or decoded, once with
// NotifyNoDevice when the sound device could not be had or went away while it
// played, and never for a file that "Close", "Open" or another "Play" ended
// first.
//
// The next file named while one plays follows it without a gap
// (WasapiNextFile). The "Close" that answers the completion leaves it
// sounding, and the "Open" and "Play" of that very file take it over where
// it is, as do those of a new start that follows a Stop at once
// (SoundingNextFile); any other command drops it.
class WasapiControl : public MMDevice, private WasapiStream::Listener {
public:
    // What became of the file named by setNextFileName.
    using NextFile = WasapiNextFile::State;
    using Placement = WasapiStream::Placement;

    WasapiControl();
    ~WasapiControl() override;

    WasapiControl(const WasapiControl&) = delete;
    WasapiControl& operator=(const WasapiControl&) = delete;

    // False when Media Foundation could not be had: every "Play" then
    // fails. A sound device may come later: without one, every "Play" fails
    // for want of a device, and looks for one again.
    bool isReady() const { return stream_.ready(); }
    // Whether a sound device took the stream as the control started.
    bool hadDeviceAtStart() const { return isReady() && stream_.deviceAtStart(); }

    void setNextFileName(const std::string& path) override;
    void setFolderAhead(const std::vector<std::string>& paths) override;
    void setNotify(bool notify) override;
    // Seconds into the file heard, negative when none is.
    double position() const override;
    bool canSeek() const override;
    void seek(double seconds) override;
    void setVolume(double level) override { stream_.setVolume(level); }
    NextFile nextFile() const { return next_.state(); }

    // The output stream's rate and channels (0 when not ready).
    int outputRate() const { return isReady() ? stream_.rate() : 0; }
    int outputChannels() const { return isReady() ? stream_.channels() : 0; }

    // Where the last files' samples went in the stream.
    std::vector<Placement> placements() const { return stream_.placements(); }

private:
    void open() override;
    void play() override;
    void togglePause() override;
    void close() override;
    void closeNow();
    void takeOverNext();

    void completeLater(int notifyCode);
    void complete(int notifyCode);
    void entryEnded(std::uint64_t entry, WasapiStream::End end) override;
    void onCompletion(WPARAM serial, LPARAM notifyCode);
    void onSilence(WPARAM serial);
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr; // for the control's own messages to itself
    WasapiStream stream_;
    WasapiNextFile next_;

    bool fileOpen_ = false;
    std::string openedPath_;
    std::uint64_t currentEntry_ = 0; // the play whose end is due to the player
    bool paused_ = false;
    std::uint64_t pendingCompletion_ = 0; // a completion owed to a "Play" the stream never got
    std::uint64_t completionSerial_ = 0;
    bool answeringDone_ = false; // inside the done handler
    SoundingNextFile sounding_;
};

} // namespace orvane
