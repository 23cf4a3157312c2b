#pragma once

#include "app/form_layouts.h"
#include "win32/win_window.h"

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace orvane::win {

// A GDI font that goes with its owner.
struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The logo's size in a box of this many pixels, given the sizes of the
// icon's images.
int logoSizeFor(int box, const std::vector<int>& imageSizes);

// Frame1 of the startup and About windows, with the product's logo, name and
// version in it. It reports clicks and mouse moves on its own background
// only (labels and the picture take theirs), the pointer entering one of the
// controls inside it, and those controls' commands.
class ProductFrame : public Window {
public:
    ProductFrame(HWND owner, const layout::ProductFrame& layout);
    ~ProductFrame() override;

    HWND imgLogo = nullptr;
    HWND lblCompanyProduct = nullptr;
    HWND lblProductName = nullptr;
    HWND lblVersion = nullptr; // "Version" until the window's load sets it
    HWND lblWarning = nullptr;

    // Places the frame and its labels at a DPI.
    void place(UINT dpi);
    // The logo's size in pixels, as loaded and drawn.
    int logoSize() const { return logoSize_; }
    HICON logo() const { return logo_; }
    // The version text, right-aligned at the layout's place.
    void showVersion(const std::string& caption);
    // Text of the labels inside, in this colour (they are the system's
    // colour until set).
    void setTextColour(COLORREF colour);

    std::function<void()> onBackgroundClick;
    std::function<void()> onBackgroundMouseMove;
    std::function<void(HWND control)> onControlMouseMove;
    std::function<void(HWND control, int notification)> onCommand;

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintBorder();
    void drawLogo(const DRAWITEMSTRUCT& item);
    void sizeToText(HWND label, const layout::TwipsPoint& at);
    void placeVersion();

    const layout::ProductFrame& layout_;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    Font companyFont_, productFont_, versionFont_, warningFont_;
    HICON logo_ = nullptr;
    int logoSize_ = 0;
    COLORREF textColour_ = CLR_INVALID;
    bool pressed_ = false;
};

} // namespace orvane::win
