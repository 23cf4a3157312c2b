#pragma once

#include "desktop/mod_sys_tray.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QMenu;
class QWidget;

namespace orvane {

class QtTrayPlatform;
class TrayPictures;

// The main window's side of the tray: minimise to tray, the popup menu on a
// right-button press over the icon, Settings, About, the icon's part of Exit,
// and the icon refresh after a tray command. Lives as a child of the window.
class SysTrayHandlers : public QObject {
    Q_OBJECT
public:
    static constexpr const char* Tip = "MP3 Orvane";

    // paused tells whether playback is paused; it chooses the image.
    SysTrayHandlers(QWidget* window, QMenu* popup, std::function<bool()> paused,
                    SysTrayModule& module, TrayPictures& pictures);
    ~SysTrayHandlers() override;

    // Attaches the handlers to the program's main window, with the
    // process-wide modSysTray on the desktop's notification area.
    static SysTrayHandlers* install(QWidget* window, QMenu* popup, std::function<bool()> paused);
    // The handlers installed on window, if any.
    static SysTrayHandlers* of(const QWidget* window);

    void Form_Resize();
    void SysTrayMouseEventHandler();
    void mnuSettings_Click();
    void mnuAbout_Click();
    void mnuExit_Click(); // the icon goes; the window then unloads itself
    void trayRefresh(const std::string& imageName);

    bool inTray() const { return inTray_; }
    IconHandle windowIconHandle() const { return windowIcon_; }
    WindowHandle windowHandle() const;

private:
    void minimiseToTray();
    void setWindowPicture(IconHandle picture);
    void hideWindowLater();

    QWidget* window_;
    QPointer<QMenu> popup_;
    std::function<bool()> paused_;
    SysTrayModule& module_;
    TrayPictures& pictures_;
    IconHandle windowIcon_ = 0; // 0 while the window shows the program's own icon
    bool inTray_ = false;

    // Held only by the handlers that install() makes.
    std::unique_ptr<TrayPictures> ownPictures_;
    std::unique_ptr<QtTrayPlatform> ownPlatform_;
};

} // namespace orvane
