#include "desktop/media_keys.h"

#include "player/player.h"

namespace orvane {

namespace {

Ctl itemOf(const ControlModel& controls, MediaKey key)
{
    switch (key) {
    case MediaKey::PlayPause: return controls.enabled(Ctl::mnuPause) ? Ctl::mnuPause : Ctl::mnuPlay;
    case MediaKey::Play: return Ctl::mnuPlay;
    case MediaKey::Pause: return Ctl::mnuPause;
    case MediaKey::Next: return Ctl::mnuSkip;
    case MediaKey::Stop: return Ctl::mnuStop;
    }
    return Ctl::mnuStop;
}

} // namespace

std::optional<Ctl> mediaKeyItem(const ControlModel& controls, MediaKey key)
{
    const Ctl item = itemOf(controls, key);
    if (!controls.enabled(item))
        return std::nullopt;
    return item;
}

bool pressMediaKey(Player& player, MediaKey key)
{
    const std::optional<Ctl> item = mediaKeyItem(player.controls(), key);
    if (!item)
        return false;
    switch (*item) {
    case Ctl::mnuPlay: player.mnuPlay_Click(); break;
    case Ctl::mnuPause: player.mnuPause_Click(); break;
    case Ctl::mnuSkip: player.mnuSkip_Click(); break;
    default: player.mnuStop_Click(); break;
    }
    return true;
}

} // namespace orvane
