#pragma once

#include "desktop/media_keys.h"
#include "platform/win_api.h"

#include <array>
#include <optional>

namespace orvane::win {

// The media keys of one window: as the desktop's hot keys, which reach the
// window wherever the focus is, also while it is in the tray, and as the
// application commands a focused window gets when another program holds the
// hot keys. Play and Pause come only as commands, from remotes and some
// keyboards.
class MediaHotKeys {
public:
    // Held down, a key acts once. A key another program holds already stays
    // with it.
    void hold(HWND window);
    void release(HWND window);
    bool holds(MediaKey key) const;

    // The key of a WM_HOTKEY this window holds.
    std::optional<MediaKey> hotKey(WPARAM id) const;
    // The key of a WM_APPCOMMAND. The command of a key held as a hot key is
    // not answered: a press of that key has come as the hot key already, and
    // must not act twice.
    std::optional<MediaKey> appCommand(int command) const;

private:
    std::array<bool, 3> held_{}; // the keys held as hot keys, by their id
};

} // namespace orvane::win
