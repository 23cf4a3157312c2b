#include "qt/sys_tray_handlers.h"

#include "qt/frm_about.h"
#include "qt/qt_tray_platform.h"
#include "qt/tray_images.h"

#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace orvane {

SysTrayHandlers::SysTrayHandlers(QWidget* window, QMenu* popup, std::function<bool()> paused,
                                 SysTrayModule& module, TrayPictures& pictures)
    : QObject(window)
    , TrayHandlers(module, std::move(paused))
    , window_(window)
    , popup_(popup)
    , pictures_(pictures)
{
}

SysTrayHandlers::~SysTrayHandlers()
{
    if (ownPlatform_ && module().platform() == ownPlatform_.get())
        module().setPlatform(nullptr);
}

SysTrayHandlers* SysTrayHandlers::install(QWidget* window, QMenu* popup, std::function<bool()> paused)
{
    auto pictures = std::make_unique<TrayPictures>();
    auto platform = std::make_unique<QtTrayPlatform>(*pictures);
    SysTrayModule& module = modSysTray::module();
    module.setPlatform(platform.get());
    auto* handlers = new SysTrayHandlers(window, popup, std::move(paused), module, *pictures);
    handlers->ownPictures_ = std::move(pictures);
    handlers->ownPlatform_ = std::move(platform);
    return handlers;
}

SysTrayHandlers* SysTrayHandlers::of(const QWidget* window)
{
    return window ? window->findChild<SysTrayHandlers*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

WindowHandle SysTrayHandlers::windowHandle() const
{
    return reinterpret_cast<WindowHandle>(window_);
}

bool SysTrayHandlers::windowMinimised() const
{
    return window_->isMinimized();
}

IconHandle SysTrayHandlers::loadPicture(const std::string& imageName)
{
    return pictures_.load(imageName);
}

void SysTrayHandlers::showWindowPicture(IconHandle picture)
{
    window_->setWindowIcon(pictures_.icon(picture));
}

void SysTrayHandlers::releasePicture(IconHandle picture)
{
    pictures_.release(picture);
}

void SysTrayHandlers::hideWindow()
{
    window_->hide();
}

// Hiding from inside the state change that minimised the window would race
// the window manager's own handling of the minimise.
void SysTrayHandlers::hideMinimisedWindow()
{
    QTimer::singleShot(0, this, [this] {
        if (inTray())
            window_->hide();
    });
}

void SysTrayHandlers::restoreWindow()
{
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

// A hidden window takes the foreground when next shown.
void SysTrayHandlers::setForegroundWindow()
{
    window_->activateWindow();
}

void SysTrayHandlers::showPopupMenu()
{
    if (popup_)
        popup_->popup(QCursor::pos());
}

void SysTrayHandlers::showAbout()
{
    frmAbout::showModeless();
}

} // namespace orvane
