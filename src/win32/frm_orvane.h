#pragma once

#include "app/main_form.h"
#include "win32/product_frame.h"
#include "win32/sys_tray_handlers.h"
#include "win32/win_media_keys.h"
#include "win32/win_ui_host.h"
#include "win32/win_window.h"

#include <shellapi.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace orvane {

// Made before MainForm, which takes the host over: the window keeps a view
// of it for the hourglass.
struct UiHostHolder {
    explicit UiHostHolder(std::unique_ptr<WinUiHost> host) : uiHost(std::move(host)), ui(uiHost.get()) {}
    std::unique_ptr<WinUiHost> uiHost;
    WinUiHost* ui;
};

// The main window on Win32: a view over the Player. The control model's every
// change shows on the controls at once; clicks, menu choices and the timer go
// to the handlers.
class frmOrvane : private UiHostHolder, public win::Window, public MainForm {
public:
    struct Hooks {
        std::function<void()> showAbout;       // frmAbout, modeless
        std::function<void()> unloaded;        // the media control is closed, the settings stored
        std::function<void()> messageBoxClosed;
        FileReads reads = FileReads::AtOnce; // the program reads off its window thread
    };

    frmOrvane(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
              SettingsProvider& settings, Hooks hooks);
    ~frmOrvane() override;

    // Shows the window; once it is up, the folder or file this start was
    // given plays, or else the sequence the program was ended in plays on by
    // itself (see MainForm::playAtStart); or the folder dialog comes up for
    // the folder to play (see MainForm::playFolderChosen).
    void show(std::optional<std::string> given = std::nullopt, bool chooseFolder = false);

    // A control by its name in the layout ("cmdPlay", "Text1", "Line1", ...,
    // and "fraOrder", the options' group).
    HWND control(std::string_view name) const;
    HMENU popupMenu() const { return RCPopup; }
    // The command id of a popup menu item by its name ("mnuPause", ...).
    static int menuId(std::string_view name);
    SysTrayHandlers& tray() { return *tray_; }
    // Whether the window holds that media key as a hot key of the desktop.
    bool holdsHotKey(MediaKey key) const;
    const WinUiHost& ui() const { return *UiHostHolder::ui; }
    // What the window tells a screen reader about playback (its accessible
    // description), as UTF-8.
    const std::string& description() const { return description_; }

private:
    // What the window does with a message of its own: the answer, or none
    // where the default handling follows.
    using Answer = std::optional<LRESULT>;
    struct MessageHandler {
        UINT message;
        Answer (*run)(frmOrvane& form, WPARAM wParam, LPARAM lParam);
    };
    static const MessageHandler MessageHandlers[];

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void buildControls();
    void buildPopupMenu();
    void showSleepChoice();
    void showSeekable();
    bool showContextMenu(LPARAM at);
    void placeControls(UINT dpi);
    void command(int id, int notification);
    void mirror(Ctl control);
    void mirrorAll();
    void describeControls();
    void describePlayback();
    void enableControl(HWND control, bool on);
    std::string showFolderDialog() override;
    void closeWindow() override;
    void stopTimer1() override;
    void afterUnload() override;
    void takeDrop(HDROP drop);

    Hooks hooks_;
    Signal<Ctl>::Handle mirrorConnection_ = 0;
    Signal<>::Handle hearing_ = 0;
    Signal<>::Handle sleeping_ = 0;
    std::string description_;
    std::array<HWND, std::size(layout::MainControls)> controls_{};
    std::array<HWND, std::size(layout::MainLines)> lines_{};
    HWND fraOrder_ = nullptr; // the options' group, for screen readers alone
    HMENU RCPopup = nullptr;
    HMENU sleepMenu_ = nullptr; // within RCPopup, which destroys it
    win::Font font_;
    win::Font headingFont_;
    bool mirroring_ = false;
    bool timerRunning_ = false;
    std::optional<std::string> given_; // played once the window is up
    bool chooseAtStart_ = false;       // the folder dialog comes up once the window is up
    bool started_ = false;             // the window is up and has played what it was given
    bool tipQueued_ = false;           // the tray tip is shown once the command is over
    win::MediaHotKeys hotKeys_;

    std::unique_ptr<TrayPictures> pictures_;
    std::unique_ptr<WinTrayPlatform> trayPlatform_;
    std::unique_ptr<SysTrayHandlers> tray_;
};

} // namespace orvane
