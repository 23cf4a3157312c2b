#pragma once

#include "desktop/mod_sys_tray.h"
#include "desktop/window_procs.h"

#include <QObject>
#include <QSystemTrayIcon>

#include <map>
#include <utility>

namespace orvane {

class TrayPictures;

// modSysTray's desktop on Qt: one QSystemTrayIcon per added record, whose
// mouse activity goes to the window's procedure as the notification area
// delivers it to a window.
class QtTrayPlatform : public QObject, public SysTrayPlatform {
    Q_OBJECT
public:
    explicit QtTrayPlatform(const TrayPictures& pictures, QObject* parent = nullptr);
    ~QtTrayPlatform() override;

    void notifyIconAdd(const NotifyIconData& data) override;
    void notifyIconDelete(const NotifyIconData& data) override;
    void notifyIconModify(const NotifyIconData& data) override;
    WindowProc setWindowProc(WindowHandle window, WindowProc proc) override;
    bool trayAvailable() const override;

    // Runs the window's current procedure; without one the message is ignored.
    std::int32_t sendMessage(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam,
                             std::intptr_t lParam);

    // The mouse message a tray activation stands for; 0 for none.
    static std::uint32_t mouseMessage(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon* trayIcon(WindowHandle window, std::uint32_t identity) const;
    std::size_t iconCount() const { return icons_.size(); }

private:
    using Key = std::pair<WindowHandle, std::uint32_t>;

    const TrayPictures& pictures_;
    std::map<Key, QSystemTrayIcon*> icons_;
    WindowProcSlots procs_;
};

} // namespace orvane
