#include "qt/sys_tray_handlers.h"

#include "qt/frm_about.h"
#include "qt/qt_tray_platform.h"
#include "qt/tray_images.h"
#include "player/player.h"

#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace orvane {

SysTrayHandlers::SysTrayHandlers(QWidget* window, QMenu* popup, std::function<bool()> paused,
                                 SysTrayModule& module, TrayPictures& pictures)
    : QObject(window)
    , window_(window)
    , popup_(popup)
    , paused_(std::move(paused))
    , module_(module)
    , pictures_(pictures)
{
    module_.SysTrayMouseEventHandler = [this] { SysTrayMouseEventHandler(); };
}

SysTrayHandlers::~SysTrayHandlers()
{
    module_.SysTrayMouseEventHandler = nullptr;
    if (ownPlatform_ && module_.platform() == ownPlatform_.get())
        module_.setPlatform(nullptr);
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

// Runs on every window-state change; only a minimise does anything. The
// explicit flag, not the window state, says whether the window is in the
// tray: a hidden window's state is not reported the same way everywhere.
void SysTrayHandlers::Form_Resize()
{
    if (!window_->isMinimized() || inTray_)
        return;
    minimiseToTray();
}

void SysTrayHandlers::minimiseToTray()
{
    // Without a notification area there would be no way back to a hidden
    // window: it stays minimised on the taskbar instead.
    if (module_.platform() && !module_.platform()->trayAvailable())
        return;
    setWindowPicture(pictures_.load(paused_() ? TrayImagePaused : TrayImagePlaying));
    module_.HookSysTrayWindow(windowHandle());
    module_.AddSysTrayIcon(windowHandle(), windowIcon_, windowIcon_, Tip);
    inTray_ = true;
    hideWindowLater();
}

// Hiding from inside the state change that minimised the window would race
// the window manager's own handling of the minimise.
void SysTrayHandlers::hideWindowLater()
{
    QTimer::singleShot(0, this, [this] {
        if (inTray_)
            window_->hide();
    });
}

void SysTrayHandlers::setWindowPicture(IconHandle picture)
{
    window_->setWindowIcon(pictures_.icon(picture));
    // The tray holds its own copy of any icon made from the old picture.
    if (windowIcon_ != 0)
        pictures_.release(windowIcon_);
    windowIcon_ = picture;
}

void SysTrayHandlers::SysTrayMouseEventHandler()
{
    // The desktop's foreground goes to the program, so that the menu closes
    // when the user clicks elsewhere. A hidden window takes it when next shown.
    window_->activateWindow();
    if (popup_)
        popup_->popup(QCursor::pos());
}

void SysTrayHandlers::mnuSettings_Click()
{
    module_.UnhookSysTrayWindow();
    inTray_ = false;
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
    module_.RemoveSysTrayIcon();
}

void SysTrayHandlers::mnuAbout_Click()
{
    frmAbout::showModeless();
}

void SysTrayHandlers::mnuExit_Click()
{
    module_.RemoveSysTrayIcon();
    inTray_ = false;
}

// After a tray command: the old icon goes and one with the image of the new
// state comes, made from the window's new icon. The hidden window is still
// minimised, so the minimise to tray runs again directly.
void SysTrayHandlers::trayRefresh(const std::string& imageName)
{
    setWindowPicture(pictures_.load(imageName));
    if (module_.platform() && !module_.platform()->trayAvailable())
        return; // the window is on the taskbar, not in the tray: keep it there
    window_->hide();
    module_.RemoveSysTrayIcon();
    module_.HookSysTrayWindow(windowHandle());
    inTray_ = false;
    minimiseToTray();
}

} // namespace orvane
