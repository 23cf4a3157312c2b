#pragma once

#include "desktop/tray_handlers.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace orvane {

class QtTrayPlatform;
class TrayPictures;

// The tray handlers on a Qt main window: the window operations, the popup
// menu and the pictures they ask for. Lives as a child of the window.
class SysTrayHandlers : public QObject, public TrayHandlers {
    Q_OBJECT
public:
    SysTrayHandlers(QWidget* window, QMenu* popup, std::function<bool()> paused,
                    SysTrayModule& module, TrayPictures& pictures);
    ~SysTrayHandlers() override;

    // Attaches the handlers to the program's main window, with the
    // process-wide modSysTray on the desktop's notification area.
    static SysTrayHandlers* install(QWidget* window, QMenu* popup, std::function<bool()> paused);
    // The handlers installed on window, if any.
    static SysTrayHandlers* of(const QWidget* window);

    WindowHandle windowHandle() const override;

private:
    bool windowMinimised() const override;
    IconHandle loadPicture(const std::string& imageName) override;
    void showWindowPicture(IconHandle picture) override;
    void releasePicture(IconHandle picture) override;
    void hideWindow() override;
    void hideMinimisedWindow() override;
    void restoreWindow() override;
    void setForegroundWindow() override;
    void showPopupMenu() override;
    void showAbout() override;

    QWidget* window_;
    QPointer<QMenu> popup_;
    TrayPictures& pictures_;

    // Held only by the handlers that install() makes.
    std::unique_ptr<TrayPictures> ownPictures_;
    std::unique_ptr<QtTrayPlatform> ownPlatform_;
};

} // namespace orvane
