#include "qt/app_lifetime.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace orvane {

AppLifetime::AppLifetime(std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , quit_(quit ? std::move(quit) : [] { QCoreApplication::quit(); })
{
    qApp->installEventFilter(this);
}

AppLifetime::~AppLifetime()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool AppLifetime::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->isWindow())
        windowGone();
    return false;
}

void AppLifetime::checkLater()
{
    QTimer::singleShot(0, this, [this] { check(); });
}

bool AppLifetime::anyWindowShown() const
{
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget* w : windows) {
        if (w->isVisible() && w->windowType() != Qt::ToolTip && w->windowType() != Qt::Desktop)
            return true;
    }
    return false;
}

void AppLifetime::endProgram()
{
    quit_();
}

} // namespace orvane
