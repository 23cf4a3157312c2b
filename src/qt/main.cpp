#include "qt/app_icon.h"
#include "qt/app_lifetime.h"
#include "qt/frm_orvane.h"
#include "qt/frm_splash.h"
#include "settings/mod_reg.h"
#ifdef _WIN32
#include "settings/win_registry.h"
#else
#include "qt/mpris.h"
#include "qt/platform_choice.h"
#include "qt/qt_settings_registry.h"
#include "qt/session_end.h"
#endif

#include <QApplication>

#include <clocale>
#include <memory>

int main(int argc, char** argv)
{
    // libmpv refuses to start under any other numeric locale, and Qt sets the
    // locale from the environment while it starts, so this is said twice.
    std::setlocale(LC_NUMERIC, "C");
#ifndef _WIN32
    orvane::applyQtPlatformChoice();
#endif
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    QApplication::setApplicationName(QStringLiteral("Orvane"));
#ifndef _WIN32
    QApplication::setDesktopFileName(QString::fromLatin1(orvane::MprisPlayer::DesktopEntry));
#endif
    QApplication::setWindowIcon(orvane::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);

#ifdef _WIN32
    orvane::SettingsProvider settings(orvane::makeWinRegistry);
#else
    orvane::SettingsProvider settings(orvane::makeQtSettingsRegistry);
#endif

    orvane::AppLifetime lifetime;
    // The main window can be closed from inside one of its own handlers (the
    // walk and the tick let events through), so it is never deleted while the
    // program runs: it goes when the event loop has returned.
    std::unique_ptr<orvane::frmOrvane> mainWindow;
#ifndef _WIN32
    std::unique_ptr<orvane::MprisService> mediaControls; // goes before the window
#endif
    auto showMainWindow = [&] {
        mainWindow = std::make_unique<orvane::frmOrvane>(settings);
        QObject::connect(mainWindow.get(), &orvane::frmOrvane::unloaded, &lifetime,
                         [&lifetime] { lifetime.mainWindowUnloaded(); });
#ifndef _WIN32
        mediaControls = orvane::MprisService::start(*mainWindow);
#endif
        mainWindow->show();
    };
#ifndef _WIN32
    orvane::SessionEnd sessionEnd([&mainWindow] { orvane::SessionEnd::closeProgram(mainWindow.get()); });
#endif
    auto* splash = new orvane::frmSplash(settings, showMainWindow);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();

    return app.exec();
}
