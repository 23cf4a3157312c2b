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

void AppLifetime::mainWindowUnloaded()
{
    mainUnloaded_ = true;
    scheduleCheck();
}

bool AppLifetime::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->isWindow())
        scheduleCheck();
    return false;
}

// Looked at once the event at hand is done, when the closing window no longer
// counts as visible.
void AppLifetime::scheduleCheck()
{
    if (checkPending_ || !mainUnloaded_)
        return;
    checkPending_ = true;
    QTimer::singleShot(0, this, [this] { check(); });
}

void AppLifetime::check()
{
    checkPending_ = false;
    if (quitting_ || !mainUnloaded_ || anyWindowVisible())
        return;
    quitting_ = true;
    quit_();
}

bool AppLifetime::anyWindowVisible()
{
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget* w : windows) {
        if (w->isVisible() && w->windowType() != Qt::ToolTip && w->windowType() != Qt::Desktop)
            return true;
    }
    return false;
}

} // namespace orvane
