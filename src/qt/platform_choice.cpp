#include "qt/platform_choice.h"

#include <cstdlib>

namespace orvane {

namespace {

std::string_view env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::string chooseQtPlatform(std::string_view waylandDisplay, std::string_view display,
                             std::string_view qpaPlatform)
{
    if (!qpaPlatform.empty() || waylandDisplay.empty() || display.empty())
        return {};
    return "xcb";
}

void applyQtPlatformChoice()
{
    const std::string platform
        = chooseQtPlatform(env("WAYLAND_DISPLAY"), env("DISPLAY"), env("QT_QPA_PLATFORM"));
    if (!platform.empty())
        ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

} // namespace orvane
