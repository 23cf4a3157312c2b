#include "win32/product_frame.h"

#include "resource_ids.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace orvane::win {

namespace {

HWND makeLabel(HWND parent, const std::string& text, DWORD align = SS_LEFT)
{
    // SS_NOTIFY: a label takes its own clicks and moves, so they never
    // count as the frame's background.
    return createControl(parent, L"STATIC", wide(text), align | SS_NOTIFY | SS_NOPREFIX, 0);
}

// The sizes of the program icon's images, from its directory in the
// resources: a count at byte 4, then 14-byte entries that start with the
// width (0 for 256).
std::vector<int> logoImageSizes()
{
    const HINSTANCE self = GetModuleHandleW(nullptr);
    const HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(IDI_ORVANE), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
    const HGLOBAL data = group ? LoadResource(self, group) : nullptr;
    const auto* directory = data ? static_cast<const BYTE*>(LockResource(data)) : nullptr;
    std::vector<int> sizes;
    if (!directory || SizeofResource(self, group) < 6)
        return sizes;
    const int count = std::min<int>(directory[4] | directory[5] << 8, (SizeofResource(self, group) - 6) / 14);
    for (int i = 0; i < count; ++i)
        sizes.push_back(directory[6 + 14 * i] == 0 ? 256 : directory[6 + 14 * i]);
    return sizes;
}

} // namespace

// The image nearest the box, at its own size: scaled up it would blur. One
// larger than the box is scaled down to fit.
int logoSizeFor(int box, const std::vector<int>& imageSizes)
{
    int nearest = 0; // of two as near, the larger: scaled down it stays sharp
    for (const int size : imageSizes) {
        const int gap = std::abs(size - box);
        const int best = std::abs(nearest - box);
        if (nearest == 0 || gap < best || (gap == best && size > nearest))
            nearest = size;
    }
    return nearest == 0 ? box : std::min(nearest, box);
}

ProductFrame::ProductFrame(HWND owner, const layout::ProductFrame& layout)
    : layout_(layout)
{
    create(L"OrvaneProductFrame", WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, L"",
           RECT{0, 0, 0, 0}, owner);
    // The text is what a screen reader says of the picture; an owner-drawn
    // control does not show it.
    imgLogo = createControl(hwnd(), L"STATIC", L"Orvane", SS_OWNERDRAW | SS_NOTIFY, 0);
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

    const RECT box = tw.rect(layout_.logo);
    static const std::vector<int> imageSizes = logoImageSizes();
    const int size = logoSizeFor(std::min(box.right - box.left, box.bottom - box.top), imageSizes);
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
    // Centred in its box, which is a little larger than the image.
    const int left = (item.rcItem.left + item.rcItem.right - logoSize_) / 2;
    const int top = (item.rcItem.top + item.rcItem.bottom - logoSize_) / 2;
    if (logo_)
        DrawIconEx(item.hDC, left, top, logo_, logoSize_, logoSize_, 0, nullptr, DI_NORMAL);
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
