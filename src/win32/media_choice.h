#pragma once

#include "media/mm_control.h"

#include <memory>

namespace orvane {

// The program's media control: Media Foundation and WASAPI where they start
// (Windows N editions have no Media Foundation), also while there is no sound
// device at all, so that the one that comes later plays without gaps; MCI
// otherwise. ORVANE_MEDIA=mci in the environment asks for MCI, for comparing
// the two.
std::unique_ptr<MMControl> makeWinMediaControl();

} // namespace orvane
