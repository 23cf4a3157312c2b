#pragma once

// What the tests of the Windows media controls share: the thread's message
// loop run until something has happened, with a generous bound, the tone
// files, and the traits each control brings to the contract every media
// control keeps (tests/media/media_control_contract.h).

#include "win32/mci_control.h"
#include "win32/wasapi_control.h"
#include "media/media_control_contract.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace orvane::test {

// Runs the thread's message loop until the condition holds or the time is up;
// returns the condition's last value.
inline bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 15000)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (!condition()) {
        if (GetTickCount64() > end)
            return condition();
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

inline void pumpFor(int ms)
{
    pumpUntil([] { return false; }, ms);
}

// Waits, without handling anything, until MCI has queued a report for this
// thread: the end of the playing file is then on its way but unread.
inline bool waitForQueuedMciReport()
{
    const ULONGLONG end = GetTickCount64() + 15000;
    MSG message;
    while (!PeekMessageW(&message, nullptr, MM_MCINOTIFY, MM_MCINOTIFY, PM_NOREMOVE)) {
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
    return true;
}

// The tones tests/win32/make_tones.sh wrote, through Wine's drive for "/".
inline std::string tonePath(int rate, int channels, int ms)
{
    std::string path = std::string("Z:") + ORVANE_TONE_DIR + "/tone-" + std::to_string(rate) + "-"
        + std::to_string(channels) + "-" + std::to_string(ms) + ".mp3";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

inline std::string toneBytes(int rate, int channels, int ms)
{
    std::ifstream in(tonePath(rate, channels, ms), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The thread's message loop, as every control here reports through it.
struct Win32Loop {
    static bool pumpUntil(const std::function<bool()>& condition, int timeoutMs)
    {
        return test::pumpUntil(condition, timeoutMs);
    }
    static void pumpFor(int ms) { test::pumpFor(ms); }
    static constexpr bool namesAreBytes = false; // UTF-8 text, as wide names
};

// MCI plays in real time through the system's "mpegvideo" device (under
// Wine: DirectShow on GStreamer, into ALSA's null device).
struct MciTraits : Win32Loop {
    using Control = MciControl;
    static constexpr const char* name = "Mci";
    static constexpr bool mayLackDevice = false;
    static constexpr int shortMs = 100;
    static constexpr int longMs = 1500; // still playing after a moment
    static std::string bytes(int ms) { return silentMp3(ms); }
    static std::string otherBytes() { return silentMp3(200); }
    static bool waitForQueuedEnd(MciControl&) { return waitForQueuedMciReport(); }
};

// Wine's ALSA driver takes from the stream a few times faster than real time,
// and lame's tones exist in a few lengths only (make_tones.sh).
struct WasapiTraits : Win32Loop {
    using Control = WasapiControl;
    static constexpr const char* name = "Wasapi";
    static constexpr bool mayLackDevice = true; // tested by WasapiControlNoDevice
    static constexpr int shortMs = 300;
    static constexpr int longMs = 6000;
    static std::string bytes(int ms) { return toneBytes(44100, 1, ms); }
    static std::string otherBytes() { return toneBytes(48000, 2, 1000); }
    static bool hasDevice(WasapiControl& control) { return control.hadDeviceAtStart(); }
};

} // namespace orvane::test
