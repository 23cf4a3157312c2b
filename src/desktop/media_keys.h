#pragma once

#include "player/control_model.h"

#include <optional>

namespace orvane {

class Player;

// Commands that reach the player from outside its windows: the keyboard's
// media keys, and on Linux the desktop's media controls. Each is the twin of
// a tray menu item.
enum class MediaKey { PlayPause, Play, Pause, Next, Stop };

// The tray menu item the key chooses as the controls stand: Play/Pause is
// Pause while Pause can be chosen, and Play otherwise; Next is Skip. None
// when that item is disabled: the key then does nothing, as a click on a
// grey item does.
std::optional<Ctl> mediaKeyItem(const ControlModel& controls, MediaKey key);

// Runs the item's click, tray refresh included, as the menu would. Whether
// anything ran.
bool pressMediaKey(Player& player, MediaKey key);

} // namespace orvane
