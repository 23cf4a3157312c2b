#pragma once

#include "media/mm_control.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_api.h"

#include <mmsystem.h>

namespace orvane {

// The media control on the Windows multimedia control interface (MCI), one
// "mpegvideo" device per open file. It belongs to the thread that made it and
// needs that thread's message loop: MCI reports a file's end to a
// message-only window of the control's own, so it works without the main
// window.
//
// "Open" opens the device for the file named last, "Play" plays it from its
// beginning (or seeks it to the start position given; one at or past its end
// completes as the end does), "pause" pauses and resumes, "Close" closes the
// device. The
// completion is raised on the window thread, from the message loop, never
// from inside a command: once with NotifySuccessful when the file has played
// to its end, once with NotifyFailure when it could not be opened or played
// (NotifyNoDevice instead when no sound device would take samples then), and
// never for a file that "Close", "Open" or another "Play" ended first.
class MciControl : public MMDevice {
public:
    MciControl();
    ~MciControl() override;

    MciControl(const MciControl&) = delete;
    MciControl& operator=(const MciControl&) = delete;


    // False when the control's window could not be made; every "Play" then
    // fails at once.
    bool isReady() const { return window_ != nullptr; }

    // Seconds into the playing file, negative when none plays.
    double position() const override;
    bool canSeek() const override { return playing_ && device_ != 0; }
    void seek(double seconds) override;
    void setVolume(double level) override;
    // With Even Loudness on, a file's level is its device's volume: MCI can
    // turn a file down, never up, so a file that would be made louder plays
    // as it is.
    void setNextFileName(const std::string& path) override;
    void setFolderAhead(const std::vector<std::string>& paths) override;

private:
    void open() override;
    void play() override;
    void togglePause() override;
    void close() override;

    void stopDevice();
    bool playFrom(std::int64_t ms);
    void applyVolume();
    void dropQueuedEnds();
    void failLater(int notifyCode = NotifyFailure);
    int failureCode();
    std::int64_t statusMs(DWORD item) const;

    void onNotify(WPARAM flags, LPARAM device);
    void onFailure(WPARAM serial);
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    bool fileOpen_ = false;      // "Open" came; the device may still have refused the file
    MCIDEVICEID device_ = 0;     // the open device, 0 when none
    bool playing_ = false;       // a "Play" whose end is still due to the player
    bool paused_ = false;
    uint64_t pendingFailure_ = 0; // a completion still to report, by serial
    int pendingCode_ = NotifyFailure;
    uint64_t failureSerial_ = 0;
    bool deviceFailed_ = false; // the last failure was the device's
    // Moved while paused: MCI has stopped the device there, and the resume
    // plays from there.
    std::optional<std::int64_t> heldAtMs_;
    double level_ = 1.0;
    double fileFactor_ = 1.0; // the open file's level, at most 1
};

} // namespace orvane
