#include "win32/mci_control.h"

#include "platform/win_text.h"
#include "win32/win_window.h"

#include <digitalv.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

namespace orvane {

namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneMciControl";
// Posted to the control's own window: a failure that is due to the player.
constexpr UINT kFailureMessage = WM_APP + 1;
// How long an open on the window thread waits for the file's level: it was
// asked for ahead, and one not known by then plays at the default level.
constexpr std::chrono::milliseconds kLevelWait{4};

// Plain CD-quality samples, which any sound device takes.
WAVEFORMATEX cdFormat()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 44100 * 4;
    return format;
}

// Whether there is no sound device to play on: none is there, or the one
// there will not take even plain CD-quality samples. Cheap: asked before
// every open.
bool noSoundDevice()
{
    if (waveOutGetNumDevs() == 0)
        return true;
    const WAVEFORMATEX format = cdFormat();
    return waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR;
}

// A device whose sound server has gone still answers the question above
// (Wine's PulseAudio driver does); only opening it tells.
bool soundDeviceOpens()
{
    const WAVEFORMATEX format = cdFormat();
    HWAVEOUT out = nullptr;
    if (waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
        return false;
    waveOutClose(out);
    return true;
}

template <typename Parms>
MCIERROR sendCommand(MCIDEVICEID device, UINT command, DWORD flags, Parms& parms)
{
    return mciSendCommandW(device, command, flags, reinterpret_cast<DWORD_PTR>(&parms));
}

} // namespace

MciControl::MciControl()
{
    window_ = win::createMessageWindow(kWindowClass, &MciControl::windowProc, this);
}

MciControl::~MciControl()
{
    close();
    // Whatever is still queued for the window goes with it.
    if (window_)
        DestroyWindow(window_);
}

// The path goes to MCI in the parameter block, never inside a command string,
// where a quote, a space or a word in a file name would become MCI syntax.
// "mpegvideo" (DirectShow) is the device Windows itself picks for .mp3;
// naming it keeps a file's name from choosing another device.
void MciControl::open()
{
    // One file at a time: opening another ends whatever was open before.
    close();
    fileOpen_ = true;
    const auto path = win::fullPath(fileName());
    // Opening a file costs a great deal where there is no device to open it
    // on (a tenth of a second and more under Wine); "Play" then fails at once.
    // After a device failed, the file is opened only once one opens again.
    if (!path || noSoundDevice() || (deviceFailed_ && !soundDeviceOpens()))
        return;
    deviceFailed_ = false;
    MCI_OPEN_PARMSW parms{};
    parms.lpstrDeviceType = L"mpegvideo";
    parms.lpstrElementName = path->c_str();
    if (sendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, parms) != 0)
        return;
    device_ = parms.wDeviceID;
    // Positions in milliseconds, for a start within the file and for where
    // it is heard.
    MCI_SET_PARMS format{};
    format.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    sendCommand(device_, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, format);
    fileFactor_ = 1.0;
    if (const std::optional<std::string> utf8 = win::toUtf8(*path))
        if (const std::optional<double> factor = levelOf(*utf8, kLevelWait))
            fileFactor_ = std::clamp(*factor, 0.0, 1.0);
    if (level_ < 1.0 || fileFactor_ < 1.0)
        applyVolume(); // a device of its own per file: the level goes on from the last
}

void MciControl::setNextFileName(const std::string& path)
{
    if (const std::optional<std::string> full = win::fullUtf8Path(path))
        levelAhead(*full);
}

void MciControl::setFolderAhead(const std::vector<std::string>& paths)
{
    levelFolderAhead(win::fullUtf8Paths(paths));
}

void MciControl::play()
{
    const double startAt = takeStartPosition();
    if (!fileOpen_)
        return;
    pendingFailure_ = 0;
    playing_ = false;
    paused_ = false;
    if (device_ == 0 || !window_) {
        failLater();
        return;
    }
    // Another "Play" starts over: the running play ends here. Once MCI has
    // stopped or closed a play, whatever it reported about it is queued; an
    // end that comes before the close was read is no longer due either.
    stopDevice();
    dropQueuedEnds();
    auto fromMs = static_cast<std::int64_t>(startAt * 1000.0 + 0.5);
    if (fromMs > 0) {
        // MCI refuses a start past the end: there is nothing left to hear.
        const std::int64_t length = statusMs(MCI_STATUS_LENGTH);
        if (length >= 0 && fromMs >= length) {
            failLater(NotifySuccessful);
            return;
        }
    }
    playing_ = playFrom(fromMs);
    if (!playing_)
        failLater();
}

// From ms in, its end reported to the control's window; false when MCI
// would not play it.
bool MciControl::playFrom(std::int64_t ms)
{
    heldAtMs_.reset();
    MCI_PLAY_PARMS parms{};
    parms.dwCallback = reinterpret_cast<DWORD_PTR>(window_);
    parms.dwFrom = static_cast<DWORD>(ms);
    return sendCommand(device_, MCI_PLAY, MCI_NOTIFY | MCI_FROM, parms) == 0;
}

// The play running ends, and what MCI said of it with it; a new one starts
// from there, or, paused, the device is stopped there until the resume.
void MciControl::seek(double seconds)
{
    if (!canSeek())
        return;
    const auto ms = static_cast<std::int64_t>(std::llround(std::max(0.0, seconds) * 1000.0));
    const std::int64_t length = statusMs(MCI_STATUS_LENGTH);
    stopDevice();
    dropQueuedEnds();
    if (length >= 0 && ms >= length) {
        failLater(NotifySuccessful); // nothing left to hear: it ends as at its end
        return;
    }
    if (paused_) {
        MCI_SEEK_PARMS parms{};
        parms.dwTo = static_cast<DWORD>(ms);
        sendCommand(device_, MCI_SEEK, MCI_TO | MCI_WAIT, parms);
        heldAtMs_ = ms;
        return;
    }
    if (!playFrom(ms))
        failLater();
}

void MciControl::setVolume(double level)
{
    level_ = std::clamp(level, 0.0, 1.0);
    applyVolume();
}

// The device's volume runs from 0 to 1000 as the samples' scale does from
// 0 to 1 (500 is 6 dB down, as heard); the level's cube is that scale, as
// for the other controls, and the file's own level scales it further.
void MciControl::applyVolume()
{
    if (device_ == 0)
        return;
    MCI_DGV_SETAUDIO_PARMSW parms{};
    parms.dwItem = MCI_DGV_SETAUDIO_VOLUME;
    const double scale = level_ * level_ * level_ * fileFactor_;
    parms.dwValue = static_cast<DWORD>(std::lround(std::clamp(scale, 0.0, 1.0) * 1000.0));
    sendCommand(device_, MCI_SETAUDIO, MCI_DGV_SETAUDIO_ITEM | MCI_DGV_SETAUDIO_VALUE | MCI_WAIT, parms);
}

// A device that would not pause or go on stays as it was, so the next
// "pause" tries the same again.
void MciControl::togglePause()
{
    if (!playing_)
        return;
    if (paused_ && heldAtMs_) {
        paused_ = !playFrom(*heldAtMs_);
        return;
    }
    MCI_GENERIC_PARMS parms{};
    if (paused_)
        paused_ = sendCommand(device_, MCI_RESUME, MCI_WAIT, parms) != 0;
    else
        paused_ = sendCommand(device_, MCI_PAUSE, MCI_WAIT, parms) == 0;
}

void MciControl::close()
{
    heldAtMs_.reset();
    fileOpen_ = false;
    playing_ = false;
    paused_ = false;
    pendingFailure_ = 0;
    if (device_ == 0)
        return;
    MCI_GENERIC_PARMS parms{};
    sendCommand(device_, MCI_CLOSE, MCI_WAIT, parms);
    device_ = 0;
}

void MciControl::stopDevice()
{
    MCI_GENERIC_PARMS parms{};
    sendCommand(device_, MCI_STOP, MCI_WAIT, parms);
}

void MciControl::dropQueuedEnds()
{
    if (!window_)
        return;
    MSG message;
    while (PeekMessageW(&message, window_, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE)) {
    }
}

// A "Play" that cannot play still owes the player its completion, but not from
// inside the command that started it. Only a control without a window, which
// can play nothing at all, answers at once.
void MciControl::failLater(int notifyCode)
{
    playing_ = false;
    paused_ = false;
    const uint64_t serial = ++failureSerial_;
    pendingFailure_ = serial;
    pendingCode_ = notifyCode;
    if (window_ && PostMessageW(window_, kFailureMessage, static_cast<WPARAM>(serial), 0))
        return;
    pendingFailure_ = 0;
    raiseDone(notifyCode == NotifyFailure ? failureCode() : notifyCode);
}

// Whether a play that failed failed for want of a sound device.
int MciControl::failureCode()
{
    deviceFailed_ = noSoundDevice() || !soundDeviceOpens();
    return deviceFailed_ ? NotifyNoDevice : NotifyFailure;
}

std::int64_t MciControl::statusMs(DWORD item) const
{
    if (device_ == 0)
        return -1;
    MCI_STATUS_PARMS parms{};
    parms.dwItem = item;
    if (sendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, parms) != 0)
        return -1;
    return static_cast<std::int64_t>(parms.dwReturn);
}

double MciControl::position() const
{
    if (!playing_)
        return -1.0;
    if (heldAtMs_)
        return static_cast<double>(*heldAtMs_) / 1000.0;
    const std::int64_t ms = statusMs(MCI_STATUS_POSITION);
    return ms < 0 ? -1.0 : static_cast<double>(ms) / 1000.0;
}

void MciControl::onNotify(WPARAM flags, LPARAM device)
{
    // Wine's mpegvideo driver leaves the device id out (0); Windows names it.
    if (!playing_ || (device != 0 && static_cast<MCIDEVICEID>(device) != device_))
        return;
    // Aborted and superseded plays are ones this control ended itself.
    if (flags != MCI_NOTIFY_SUCCESSFUL && flags != MCI_NOTIFY_FAILURE)
        return;
    playing_ = false;
    paused_ = false;
    raiseDone(flags == MCI_NOTIFY_SUCCESSFUL ? NotifySuccessful : failureCode());
}

void MciControl::onFailure(WPARAM serial)
{
    if (serial == 0 || serial != pendingFailure_)
        return;
    pendingFailure_ = 0;
    raiseDone(pendingCode_ == NotifyFailure ? failureCode() : pendingCode_);
}

LRESULT CALLBACK MciControl::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<MciControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == MM_MCINOTIFY) {
        self->onNotify(wParam, lParam);
        return 0;
    }
    if (self && message == kFailureMessage) {
        self->onFailure(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace orvane
