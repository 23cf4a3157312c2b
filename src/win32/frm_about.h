#pragma once

#include "desktop/about_form.h"
#include "win32/product_frame.h"

#include <functional>
#include <memory>

namespace orvane {

// The About window on Win32: product name, version, and the link to the
// product web page. Modeless, one at a time.
class frmAbout : public win::Window, public AboutForm {
public:
    // closed runs when the window has gone.
    explicit frmAbout(std::function<void()> closed = {});

    // Shows the About window, loading it first when none is open, and brings
    // it forward.
    static frmAbout& showModeless(std::function<void()> closed);
    // The open About window, if any.
    static frmAbout* instance();

    win::ProductFrame& frame() { return *Frame1; }
    HWND lblURL = nullptr;
    HWND cmdExit = nullptr;

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void destroyed() override;
    void placeControls(UINT dpi);
    void showVersion(const std::string& caption) override;
    void showLinkUnderline(bool on) override;
    void closeWindow() override;
    void openWebPage(const std::string& address) override;

    static LRESULT CALLBACK linkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);

    std::unique_ptr<win::ProductFrame> Frame1;
    win::Font linkFont_;
    win::Font linkUnderlinedFont_;
    win::Font buttonFont_;
    std::function<void()> closed_;
};

} // namespace orvane
