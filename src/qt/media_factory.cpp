#include "qt/media_factory.h"

#include "qt/mpv_control.h"

namespace orvane {

std::unique_ptr<MMControl> makeMediaControl()
{
    // The system's sound output; a machine without one plays silently.
    return std::make_unique<MpvControl>(MpvControl::Output::Default);
}

} // namespace orvane
