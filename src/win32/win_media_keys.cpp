#include "win32/win_media_keys.h"

#include <iterator>
#include <utility>

namespace orvane::win {

namespace {

// The hot keys' ids are the table's indexes.
struct MediaKeyBinding {
    UINT virtualKey; // 0: no hot key
    int appCommand;
    MediaKey key;
};
constexpr MediaKeyBinding kMediaKeys[] = {
    {VK_MEDIA_PLAY_PAUSE, APPCOMMAND_MEDIA_PLAY_PAUSE, MediaKey::PlayPause},
    {VK_MEDIA_NEXT_TRACK, APPCOMMAND_MEDIA_NEXTTRACK, MediaKey::Next},
    {VK_MEDIA_STOP, APPCOMMAND_MEDIA_STOP, MediaKey::Stop},
    {0, APPCOMMAND_MEDIA_PLAY, MediaKey::Play},
    {0, APPCOMMAND_MEDIA_PAUSE, MediaKey::Pause},
};

} // namespace

void MediaHotKeys::hold(HWND window)
{
    for (std::size_t i = 0; i < held_.size(); ++i) {
        held_[i] = kMediaKeys[i].virtualKey != 0
            && RegisterHotKey(window, static_cast<int>(i), MOD_NOREPEAT, kMediaKeys[i].virtualKey);
    }
}

void MediaHotKeys::release(HWND window)
{
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (std::exchange(held_[i], false))
            UnregisterHotKey(window, static_cast<int>(i));
    }
}

bool MediaHotKeys::holds(MediaKey key) const
{
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (kMediaKeys[i].key == key)
            return held_[i];
    }
    return false;
}

std::optional<MediaKey> MediaHotKeys::hotKey(WPARAM id) const
{
    if (id < held_.size() && held_[id])
        return kMediaKeys[id].key;
    return std::nullopt;
}

std::optional<MediaKey> MediaHotKeys::appCommand(int command) const
{
    for (std::size_t i = 0; i < std::size(kMediaKeys); ++i) {
        if (kMediaKeys[i].appCommand != command)
            continue;
        if (i < held_.size() && held_[i])
            return std::nullopt;
        return kMediaKeys[i].key;
    }
    return std::nullopt;
}

} // namespace orvane::win
