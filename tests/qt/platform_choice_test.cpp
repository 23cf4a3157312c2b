#include "qt/platform_choice.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(PlatformChoice, XWaylandIsChosenOnlyWhenBothDisplaysAreThereAndTheUserChoseNone)
{
    struct Case {
        const char* wayland;
        const char* x11;
        const char* qpa;
        const char* chosen;
    } const cases[] = {
        {"wayland-0", ":0", "", "xcb"},              // a Wayland session with XWayland
        {"wayland-0", "", "", ""},                   // Wayland alone: no tray, Qt's choice
        {"", ":0", "", ""},                          // plain X
        {"", "", "", ""},                            // no desktop at all
        {"wayland-0", ":0", "wayland", ""},          // the user's choice stands
        {"wayland-0", ":0", "offscreen", ""},
        {"wayland-0", ":0", "xcb", ""},
        {"", ":0", "wayland", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseQtPlatform(c.wayland, c.x11, c.qpa), c.chosen)
            << "WAYLAND_DISPLAY=" << c.wayland << " DISPLAY=" << c.x11 << " QT_QPA_PLATFORM=" << c.qpa;
}

} // namespace
} // namespace orvane
