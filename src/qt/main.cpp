#include "qt/app_icon.h"
#include "qt/app_lifetime.h"
#include "qt/frm_orvane.h"
#include "qt/frm_splash.h"
#include "qt/mpris.h"
#include "qt/place_file.h"
#include "qt/platform_choice.h"
#include "qt/qt_settings_registry.h"
#include "qt/session_end.h"
#include "settings/mod_reg.h"

#include <QApplication>
#include <QTimer>

#include <clocale>
#include <memory>

int main(int argc, char** argv)
{
    // libmpv refuses to start under any other numeric locale, and Qt sets the
    // locale from the environment while it starts, so this is said twice.
    std::setlocale(LC_NUMERIC, "C");
    orvane::applyQtPlatformChoice();
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setDesktopFileName(QString::fromLatin1(orvane::MprisPlayer::DesktopEntry));
    QApplication::setWindowIcon(orvane::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    orvane::SettingsProvider settings(orvane::makeQtSettingsRegistry);

    orvane::AppLifetime lifetime;
    // The main window can be closed from inside one of its own handlers (the
    // walk and the tick let events through), so it is never deleted while the
    // program runs: it goes when the event loop has returned.
    std::unique_ptr<orvane::frmOrvane> mainWindow;
    std::unique_ptr<orvane::MprisService> mediaControls; // goes before the window
    auto showMainWindow = [&] {
        mainWindow = std::make_unique<orvane::frmOrvane>(settings);
        QObject::connect(mainWindow.get(), &orvane::frmOrvane::unloaded, &lifetime,
                         [&lifetime] { lifetime.mainWindowUnloaded(); });
        mainWindow->keepPlaceIn(orvane::makePlaceFile());
        mediaControls = orvane::MprisService::start(*mainWindow);
        mainWindow->show();
        // Once the window is on screen: a sequence the program was ended in
        // plays on by itself.
        QTimer::singleShot(0, mainWindow.get(), [&mainWindow] { mainWindow->player().playOnByItself(); });
    };
    orvane::SessionEnd sessionEnd([&mainWindow] {
        if (mainWindow)
            mainWindow->sessionEnds();
        orvane::SessionEnd::closeProgram(mainWindow.get());
    });
    auto* splash = new orvane::frmSplash(settings, showMainWindow);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();

    return app.exec();
}
