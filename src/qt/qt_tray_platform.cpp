#include "qt/qt_tray_platform.h"

#include "qt/tray_images.h"

namespace orvane {

namespace {

constexpr std::uint32_t WM_MBUTTONDOWN = 0x207;

} // namespace

QtTrayPlatform::QtTrayPlatform(const TrayPictures& pictures, QObject* parent)
    : QObject(parent)
    , pictures_(pictures)
{
}

QtTrayPlatform::~QtTrayPlatform()
{
    // An icon must not outlive the program that answers its clicks.
    for (auto& [key, icon] : icons_) {
        icon->hide();
        delete icon;
    }
}

void QtTrayPlatform::notifyIconAdd(const NotifyIconData& data)
{
    const Key key{data.hWnd, data.uID};
    if (icons_.count(key) != 0)
        return; // an icon of that identity is shown already: the add fails

    auto* icon = new QSystemTrayIcon(this);
    if (data.uFlags & NIF_ICON)
        icon->setIcon(pictures_.icon(data.hIcon));
    if (data.uFlags & NIF_TIP)
        icon->setToolTip(QString::fromStdString(data.szTip));
    if (data.uFlags & NIF_MESSAGE) {
        // No setContextMenu: the menu is the window's business, shown by its
        // procedure on the right-button press.
        connect(icon, &QSystemTrayIcon::activated, this,
                [this, key, msg = data.uCallbackMessage](QSystemTrayIcon::ActivationReason reason) {
                    if (const std::uint32_t mouse = mouseMessage(reason))
                        sendMessage(key.first, msg, key.second, static_cast<std::intptr_t>(mouse));
                });
    }
    icons_[key] = icon;
    icon->show();
}

void QtTrayPlatform::notifyIconModify(const NotifyIconData& data)
{
    const auto it = icons_.find(Key{data.hWnd, data.uID});
    if (it != icons_.end() && (data.uFlags & NIF_TIP))
        it->second->setToolTip(QString::fromStdString(data.szTip));
}

void QtTrayPlatform::notifyIconDelete(const NotifyIconData& data)
{
    const auto it = icons_.find(Key{data.hWnd, data.uID});
    if (it == icons_.end())
        return;
    QSystemTrayIcon* icon = it->second;
    icons_.erase(it);
    icon->hide();
    // Later, in case the delete comes from inside one of the icon's own signals.
    icon->deleteLater();
}

WindowProc QtTrayPlatform::setWindowProc(WindowHandle window, WindowProc proc)
{
    return procs_.set(window, std::move(proc));
}

bool QtTrayPlatform::trayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

std::int32_t QtTrayPlatform::sendMessage(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam,
                                         std::intptr_t lParam)
{
    return procs_.send(window, msg, wParam, lParam);
}

std::uint32_t QtTrayPlatform::mouseMessage(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context: return WM_RBUTTONDOWN;
    case QSystemTrayIcon::Trigger: return WM_LBUTTONDOWN;
    case QSystemTrayIcon::DoubleClick: return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::MiddleClick: return WM_MBUTTONDOWN;
    case QSystemTrayIcon::Unknown: break;
    }
    return 0;
}

QSystemTrayIcon* QtTrayPlatform::trayIcon(WindowHandle window, std::uint32_t identity) const
{
    const auto it = icons_.find(Key{window, identity});
    return it == icons_.end() ? nullptr : it->second;
}

} // namespace orvane
