#pragma once

#include "desktop/mod_sys_tray.h"
#include "platform/win_api.h"

#include <map>
#include <string>

namespace orvane {

// The pictures the tray and the main window show, loaded from the program's
// folder by file name. Each load gives a new handle, as loading a picture
// from a file does; the handle doubles as the identity of the tray icon.
class TrayPictures {
public:
    // folder defaults to the executable's folder.
    explicit TrayPictures(std::wstring folder = {});
    ~TrayPictures();
    TrayPictures(const TrayPictures&) = delete;
    TrayPictures& operator=(const TrayPictures&) = delete;

    struct Picture {
        HICON small = nullptr; // the tray's and the title bar's size
        HICON large = nullptr; // the task switcher's
        bool fromFile = false;
    };

    // The image file, or the copy built into the program when that file is
    // missing or holds no readable icon.
    IconHandle load(const std::string& name);
    const Picture* picture(IconHandle handle) const;
    void release(IconHandle handle);
    std::size_t loadedCount() const { return pictures_.size(); }

private:
    std::wstring folder_;
    IconHandle nextHandle_ = 1;
    std::map<IconHandle, Picture> pictures_;
};

// modSysTray's desktop on Win32: the notification area through
// Shell_NotifyIconW, and the window procedure replaced with SetWindowLongPtrW.
class WinTrayPlatform : public SysTrayPlatform {
public:
    explicit WinTrayPlatform(const TrayPictures& pictures) : pictures_(pictures) {}
    ~WinTrayPlatform() override;

    void notifyIconAdd(const NotifyIconData& data) override;
    void notifyIconDelete(const NotifyIconData& data) override;
    void notifyIconModify(const NotifyIconData& data) override;
    WindowProc setWindowProc(WindowHandle window, WindowProc proc) override;

private:
    static LRESULT CALLBACK hookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const TrayPictures& pictures_;
};

} // namespace orvane
