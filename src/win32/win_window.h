#pragma once

#include "app/form_layouts.h"
#include "platform/win_api.h"

#include <string>

namespace orvane::win {

// Twips become pixels at the DPI of the window's monitor.
class TwipsScale {
public:
    explicit TwipsScale(UINT dpi) : dpi_(dpi) {}
    UINT dpi() const { return dpi_; }
    int px(int twips) const { return MulDiv(twips, static_cast<int>(dpi_), 1440); }
    RECT rect(const layout::TwipsRect& r) const;
    RECT rect(const layout::TwipsPoint& at, const SIZE& size) const;

private:
    UINT dpi_;
};

// The DPI the window is drawn at: its monitor's where the system scales per
// monitor, else the screen's.
UINT windowDpi(HWND window);

// A font at a DPI, bold and underlined as asked; the caller deletes it.
HFONT makeFont(const layout::Font& font, UINT dpi, bool underline = false);

// UTF-8 of the core <-> the wide text of Win32. Text that cannot cross
// becomes empty.
std::wstring wide(const std::string& utf8);
std::string narrow(const std::wstring& text);
std::wstring windowText(HWND window);

// The folder that holds the program's executable, without a final "\".
std::wstring programFolder();

// Resizes the window so that its client area has this size in pixels.
void setClientSize(HWND window, int width, int height, UINT dpi);
// The size text takes in a font.
SIZE textSize(HWND window, HFONT font, const std::wstring& text);
void moveWindow(HWND window, const RECT& rect);

// One of the program's own windows: a window class of its own whose
// procedure hands every message to the object behind the window.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }

protected:
    // Makes the window; the class is registered on first use.
    HWND create(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& title,
                const RECT& rect, HWND parent, HICON icon = nullptr);
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The window has gone (WM_NCDESTROY); hwnd() is null from here on.
    virtual void destroyed() {}

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

// A message-only window of a class of its own, registered on first use, that
// carries the owner in GWLP_USERDATA; null when it cannot be made.
HWND createMessageWindow(const wchar_t* className, WNDPROC proc, void* owner);

// A child control of a system class (BUTTON, EDIT, STATIC) with an id.
HWND createControl(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style,
                   int id, DWORD exStyle = 0);

} // namespace orvane::win
