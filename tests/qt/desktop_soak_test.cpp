// The storm of the player soak, through the real main window: its buttons and
// tray menu, minimising to the tray and restoring, on the real libmpv control
// (silent, untimed). On a desktop with a system tray (the desktop test runs
// this under Xvfb with icewm) the window really goes to the tray; elsewhere
// minimising leaves it minimised. Length: ORVANE_SOAK_SECONDS (default 10).
#include "qt/frm_orvane.h"
#include "qt/frm_about.h"
#include "qt/sys_tray_handlers.h"
#include "qt/mpv_control.h"
#include "player/player_invariants.h"
#include "qt/mpv_fixtures.h"
#include "qt/qt_app_support.h"
#include "support/temp_tree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSystemTrayIcon>

#include <random>

namespace orvane::test {
namespace {

TEST(DesktopSoak, WindowAndTrayStormKeepsEveryRule)
{
    const char* secondsText = std::getenv("ORVANE_SOAK_SECONDS");
    const int seconds = secondsText && *secondsText ? std::atoi(secondsText) / 2 : 10;
    SettingsSandbox sandbox;
    TempTree tree;
    for (int folder = 0; folder < 4; ++folder)
        for (int file = 0; file < 5; ++file)
            tree.makeFile("f" + std::to_string(folder) + "/t" + std::to_string(file) + ".mp3",
                          orvane::testing::sineMp3(0.05)); // long enough to be recognised as MP3
    sandbox.setValue("Version", "3.0.0");
    sandbox.setValue("Sub", "1");
    sandbox.setValue("Repeat", "1");
    sandbox.setValue("PlayPath", tree.path());

    auto* mpv = new MpvControl(MpvControl::Output::NullUntimed);
    frmOrvane window(std::unique_ptr<MMControl>(mpv), makeNativeFileSystem(), sandbox.settings());
    window.show();
    SysTrayHandlers* tray = SysTrayHandlers::of(&window);
    ASSERT_NE(tray, nullptr);
    const bool realTray = QSystemTrayIcon::isSystemTrayAvailable();
    Player& player = window.player();

    std::mt19937 random(20261207);
    QElapsedTimer clock;
    clock.start();
    long steps = 0;
    auto settle = [] { orvane::testing::spinFor(3); };
    while (clock.elapsed() < seconds * 1000L) {
        const unsigned roll = random() % 100;
        std::string what;
        if (roll < 40) {
            what = "events";
            orvane::testing::spinFor(static_cast<int>(random() % 20));
        } else if (roll < 70) {
            // The window's buttons while it is on screen, the tray menu's
            // items while it is in the tray.
            QAction* items[] = {window.mnuPlay, window.mnuPause, window.mnuSkip, window.mnuStop};
            QPushButton* buttons[] = {window.cmdPlay, window.cmdPause, window.cmdSkip, window.cmdStop};
            const auto pick = random() % 4;
            what = "command " + std::to_string(pick);
            if (tray->inTray()) {
                if (items[pick]->isEnabled())
                    items[pick]->trigger();
            } else if (buttons[pick]->isEnabled()) {
                buttons[pick]->click();
            }
        } else if (roll < 80) {
            what = "minimise";
            if (!tray->inTray())
                window.showMinimized();
        } else if (roll < 90) {
            what = "settings";
            if (tray->inTray())
                window.mnuSettings->trigger();
        } else if (roll < 95) {
            what = "about";
            window.mnuAbout->trigger();
        } else {
            what = "options";
            if (window.ckSub->isEnabled() && !tray->inTray()) {
                window.ckRepeat->click();
                (random() % 2 ? window.optDate : window.optName)->click();
            }
        }
        settle();
        ++steps;
        checkPlayerInvariants(player, what);
        if (::testing::Test::HasFatalFailure())
            return;
        const bool hooked = modSysTray::module().SysTrayHooked == -1;
        ASSERT_EQ(hooked, tray->inTray()) << what;
        if (tray->inTray()) {
            ASSERT_FALSE(window.isVisible()) << what;
        }
        if (!realTray) {
            ASSERT_FALSE(tray->inTray()) << what << ": no tray to hide in";
        }
    }

    // Back on screen, playing again from a new start.
    if (tray->inTray())
        window.mnuSettings->trigger();
    settle();
    EXPECT_TRUE(window.isVisible());
    window.cmdStop->click();
    const auto before = mpv->openedPaths().size();
    window.cmdPlay->click();
    EXPECT_TRUE(orvane::testing::spinUntil([&] { return mpv->openedPaths().size() > before; }, 1000))
        << "playing resumes within a second";
    window.close();
    delete frmAbout::instance(); // the storm may have left About open
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::printf("desktop soak: %d s, %ld steps, tray %s\n", seconds, steps, realTray ? "real" : "absent");
}

} // namespace
} // namespace orvane::test
