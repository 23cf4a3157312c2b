#pragma once

#include "media/mm_control.h"

#include <memory>

namespace orvane {

// The multimedia control the main window plays through.
std::unique_ptr<MMControl> makeMediaControl();

} // namespace orvane
