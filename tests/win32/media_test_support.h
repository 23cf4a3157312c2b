#pragma once

// What the tests of the Windows media controls share: files and a message
// loop that runs until something has happened, with a generous bound.

#include "platform/win_api.h"

#include <functional>
#include <string>

namespace orvane::test {

// Silence as MPEG-1 Layer III: 24 ms frames (48 kHz, 64 kbit/s, mono) whose
// side information and main data are all zero.
inline std::string silentMp3(int milliseconds)
{
    std::string frame(192, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x54';
    frame[3] = '\xC0';
    std::string file;
    for (int ms = 0; ms < milliseconds; ms += 24)
        file += frame;
    return file;
}

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

} // namespace orvane::test
