#pragma once

// What the tests of the Windows media controls share: files, a message loop
// that runs until something has happened, with a generous bound, and one
// fixture over each control's traits.

#include "win32/mci_control.h"
#include "win32/wasapi_control.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

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

// MCI plays in real time through the system's "mpegvideo" device (under
// Wine: DirectShow on GStreamer, into ALSA's null device).
struct MciTraits {
    using Control = MciControl;
    static constexpr const char* name = "Mci";
    static constexpr bool mayLackDevice = false;
    static constexpr int shortMs = 100;
    static constexpr int longMs = 1500; // still playing after a moment
    static std::string bytes(int ms) { return silentMp3(ms); }
    static std::string otherBytes() { return silentMp3(200); }
    static bool waitForQueuedEnd() { return waitForQueuedMciReport(); }
};

// Wine's ALSA driver takes from the stream a few times faster than real time,
// and lame's tones exist in a few lengths only (make_tones.sh).
struct WasapiTraits {
    using Control = WasapiControl;
    static constexpr const char* name = "Wasapi";
    static constexpr bool mayLackDevice = true; // tested by WasapiControlNoDevice
    static constexpr int shortMs = 300;
    static constexpr int longMs = 6000;
    static std::string bytes(int ms) { return toneBytes(44100, 1, ms); }
    static std::string otherBytes() { return toneBytes(48000, 2, 1000); }
};

using Codes = std::vector<int>;
inline const Codes kSuccess{MMControl::NotifySuccessful};
inline const Codes kFailure{MMControl::NotifyFailure};

template <class Traits>
class MediaControlTest : public ::testing::Test {
protected:
    MediaControlTest()
    {
        control.setDoneHandler([this](int code) { codes.push_back(code); });
    }

    void SetUp() override
    {
        if (Traits::mayLackDevice && !control.isReady())
            GTEST_SKIP() << "no sound device: the failing path is tested by " << Traits::name << "ControlNoDevice";
        ASSERT_TRUE(control.isReady());
    }

    std::string song(const std::string& name, int ms = 300) { return tree.makeFile(name, Traits::bytes(ms)); }

    void openAndPlay(const std::string& path)
    {
        control.setFileName(path);
        control.setCommand("Open");
        control.setCommand("Play");
    }

    // Plays the file to its completion, answered with "Close" as the player
    // does; the completions it got.
    Codes playOnce(const std::string& path)
    {
        codes.clear();
        openAndPlay(path);
        EXPECT_TRUE(codes.empty()) << "raised from inside the command";
        pumpUntil([&] { return !codes.empty(); });
        control.setCommand("Close");
        pumpFor(200);
        return codes;
    }

    bool waitForCompletions(size_t count) { return pumpUntil([&] { return codes.size() >= count; }); }

    // Holds the file just started: nothing completes while it is held, and
    // once resumed it completes once.
    void holdThenResume(int holdMs)
    {
        control.setCommand("pause");
        pumpFor(holdMs);
        EXPECT_TRUE(codes.empty());
        control.setCommand("pause");
        ASSERT_TRUE(waitForCompletions(1));
        pumpFor(500);
        EXPECT_EQ(codes, kSuccess);
    }

    TempTree tree;
    typename Traits::Control control;
    Codes codes;
};

} // namespace orvane::test
