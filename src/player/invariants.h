#pragma once

#include "player/player.h"

#include <string>

namespace orvane {

// The rules the player keeps between any two events: the state table and the
// enabled sets agree (Idle, Playing, Paused), a button and its tray twin are
// enabled alike and Stop never is disabled, the timer runs exactly while
// playing, the play cursor stays within the play list, the device flag is 0
// or 1, and an idle player holds no folder lists. Empty text when all hold;
// otherwise the first one broken.
std::string brokenInvariant(const Player& player);

} // namespace orvane
