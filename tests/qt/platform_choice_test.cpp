#include "qt/platform_choice.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

// The choice reaches the environment Qt reads at start-up, and only then.
TEST(PlatformChoice, AppliedToTheProcessEnvironment)
{
    const char* names[] = {"WAYLAND_DISPLAY", "DISPLAY", "QT_QPA_PLATFORM"};
    std::string saved[3];
    bool had[3];
    for (int i = 0; i < 3; ++i) {
        const char* value = std::getenv(names[i]);
        had[i] = value != nullptr;
        saved[i] = value ? value : "";
    }

    ::setenv("WAYLAND_DISPLAY", "wayland-1", 1);
    ::setenv("DISPLAY", ":7", 1);
    ::unsetenv("QT_QPA_PLATFORM");
    applyQtPlatformChoice();
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    EXPECT_STREQ(chosen ? chosen : "(unset)", "xcb");

    ::unsetenv("DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    applyQtPlatformChoice();
    EXPECT_EQ(std::getenv("QT_QPA_PLATFORM"), nullptr) << "Wayland alone is left to Qt";

    for (int i = 0; i < 3; ++i) {
        if (had[i])
            ::setenv(names[i], saved[i].c_str(), 1);
        else
            ::unsetenv(names[i]);
    }
}

} // namespace
} // namespace orvane
