#include "win32/product_frame.h"

#include "resource_ids.h"

#include <algorithm>
#include <utility>

namespace orvane::win {

namespace {

HWND makeLabel(HWND parent, const std::string& text, DWORD align = SS_LEFT)
{
    // SS_NOTIFY: a label takes its own clicks and moves, so they never
    // count as the frame's background.
    return createControl(parent, L"STATIC", wide(text), align | SS_NOTIFY | SS_NOPREFIX, 0);
}

} // namespace

ProductFrame::ProductFrame(HWND owner, const layout::ProductFrame& layout)
    : layout_(layout)
{
    create(L"OrvaneProductFrame", WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, L"",
           RECT{0, 0, 0, 0}, owner);
    imgLogo = createControl(hwnd(), L"STATIC", L"", SS_OWNERDRAW | SS_NOTIFY, 0);
    lblCompanyProduct = makeLabel(hwnd(), "MP3");
    lblProductName = makeLabel(hwnd(), "Orvane");
    lblVersion = makeLabel(hwnd(), "Version", SS_RIGHT);
    lblWarning = makeLabel(hwnd(), layout.warningText);
}

ProductFrame::~ProductFrame()
{
    if (logo_)
        DestroyIcon(logo_);
}

void ProductFrame::place(UINT dpi)
{
    dpi_ = dpi;
    const TwipsScale tw(dpi);
    moveWindow(hwnd(), tw.rect(layout_.frame));
    moveWindow(imgLogo, tw.rect(layout_.logo));
    companyFont_.reset(makeFont(layout::CompanyProductFont, dpi));
    productFont_.reset(makeFont(layout::ProductNameFont, dpi));
    versionFont_.reset(makeFont(layout::VersionFont, dpi));
    warningFont_.reset(makeFont(layout::WarningFont, dpi));
    SendMessageW(lblCompanyProduct, WM_SETFONT, reinterpret_cast<WPARAM>(companyFont_.get()), TRUE);
    SendMessageW(lblProductName, WM_SETFONT, reinterpret_cast<WPARAM>(productFont_.get()), TRUE);
    SendMessageW(lblVersion, WM_SETFONT, reinterpret_cast<WPARAM>(versionFont_.get()), TRUE);
    SendMessageW(lblWarning, WM_SETFONT, reinterpret_cast<WPARAM>(warningFont_.get()), TRUE);
    sizeToText(lblCompanyProduct, layout_.companyProduct);
    sizeToText(lblProductName, layout_.productName);
    sizeToText(lblWarning, {layout_.warning.left, layout_.warning.top});
    placeVersion();

    // The picture at the size of its box, from the largest image the icon has.
    const RECT box = tw.rect(layout_.logo);
    const int size = std::min(box.right - box.left, box.bottom - box.top);
    if (size != logoSize_) {
        if (logo_)
            DestroyIcon(logo_);
        logo_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_ORVANE),
                                              IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        logoSize_ = size;
    }
}

void ProductFrame::showVersion(const std::string& caption)
{
    SetWindowTextW(lblVersion, wide(caption).c_str());
    placeVersion();
}

void ProductFrame::setTextColour(COLORREF colour)
{
    textColour_ = colour;
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void ProductFrame::sizeToText(HWND label, const layout::TwipsPoint& at)
{
    const auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    moveWindow(label, TwipsScale(dpi_).rect(at, textSize(label, font, windowText(label))));
}

void ProductFrame::placeVersion()
{
    const TwipsScale tw(dpi_);
    const SIZE size = textSize(lblVersion, versionFont_.get(), windowText(lblVersion));
    const int right = tw.px(layout_.versionTopRight.x);
    const int top = tw.px(layout_.versionTopRight.y);
    moveWindow(lblVersion, RECT{right - size.cx, top, right, top + size.cy});
}

void ProductFrame::paintBorder()
{
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd(), &paint);
    RECT r;
    GetClientRect(hwnd(), &r);
    DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
    EndPaint(hwnd(), &paint);
}

void ProductFrame::drawLogo(const DRAWITEMSTRUCT& item)
{
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (logo_)
        DrawIconEx(item.hDC, item.rcItem.left, item.rcItem.top, logo_, logoSize_, logoSize_, 0, nullptr, DI_NORMAL);
}

LRESULT ProductFrame::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        paintBorder();
        return 0;
    case WM_DRAWITEM:
        drawLogo(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        if (textColour_ != CLR_INVALID && reinterpret_cast<HWND>(lParam) != lblWarning)
            SetTextColor(dc, textColour_);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_LBUTTONDOWN:
        pressed_ = true;
        return 0;
    case WM_LBUTTONUP:
        if (std::exchange(pressed_, false) && onBackgroundClick)
            onBackgroundClick();
        return 0;
    case WM_MOUSEMOVE:
        if (onBackgroundMouseMove)
            onBackgroundMouseMove();
        return 0;
    case WM_SETCURSOR:
        // A control asks its parent first, on every move of the pointer over it.
        if (reinterpret_cast<HWND>(wParam) != hwnd() && onControlMouseMove)
            onControlMouseMove(reinterpret_cast<HWND>(wParam));
        break;
    case WM_COMMAND:
        if (lParam != 0 && onCommand)
            onCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    default:
        break;
    }
    return Window::handle(message, wParam, lParam);
}

} // namespace orvane::win
