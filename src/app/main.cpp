#include "app/app_icon.h"
#include "app/app_lifetime.h"
#include "app/frm_orvane.h"
#include "app/frm_splash.h"
#include "settings/mod_reg.h"
#include "settings/qt_settings_registry.h"

#include <QApplication>

#include <clocale>

int main(int argc, char** argv)
{
    // libmpv refuses to start under any other numeric locale, and Qt sets the
    // locale from the environment while it starts, so this is said twice.
    std::setlocale(LC_NUMERIC, "C");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setWindowIcon(orvane::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    orvane::modReg::setRegistryFactory(orvane::makeQtSettingsRegistry);

    orvane::AppLifetime lifetime;
    auto showMainWindow = [&lifetime] {
        auto* main = new orvane::frmOrvane;
        main->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(main, &orvane::frmOrvane::unloaded, &lifetime,
                         &orvane::AppLifetime::mainWindowUnloaded);
        main->show();
    };
    auto* splash = new orvane::frmSplash(showMainWindow);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();

    return app.exec();
}
