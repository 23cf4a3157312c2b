#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The Qt platform the program asks for, from the session's environment (empty
// text for a variable that is not set); empty: Qt's own choice.
//
// A Wayland compositor never tells a program that its window was minimised, so
// minimise-to-tray cannot work there. Where X is offered too (XWayland) and the
// user has not chosen a platform, the program runs on X, where the tray works.
std::string chooseQtPlatform(std::string_view waylandDisplay, std::string_view display,
                             std::string_view qpaPlatform);

// Applies the choice to this process; to be called before QApplication.
void applyQtPlatformChoice();

} // namespace orvane
