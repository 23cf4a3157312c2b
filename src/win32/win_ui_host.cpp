#include "win32/win_ui_host.h"

#include "win32/win_window.h"

namespace orvane {

namespace {

constexpr wchar_t kDialogKeys[] = L"Orvane.DialogKeys";
constexpr wchar_t kSeekKeys[] = L"Orvane.SeekKeys";
// A pass ends here even if messages keep coming, so a yield always returns.
constexpr int kMaxMessagesPerPass = 1000;

} // namespace

void wantDialogKeys(HWND window)
{
    SetPropW(window, kDialogKeys, reinterpret_cast<HANDLE>(1));
}

void wantSeekKeys(HWND window)
{
    SetPropW(window, kSeekKeys, reinterpret_cast<HANDLE>(1));
}

namespace {

bool isSeekKey(const MSG& message, HWND top)
{
    if (message.message != WM_KEYDOWN || (message.wParam != VK_LEFT && message.wParam != VK_RIGHT)
        || GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0 || !top || !GetPropW(top, kSeekKeys))
        return false;
    wchar_t kind[16] = L"";
    GetClassNameW(message.hwnd, kind, 16);
    return lstrcmpiW(kind, L"Edit") != 0;
}

} // namespace

void dispatchMessage(MSG& message)
{
    const HWND top = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (isSeekKey(message, top)) {
        SendMessageW(top, SeekKeyMessage, message.wParam == VK_RIGHT ? 1 : 0, 0);
        return;
    }
    if (top && GetPropW(top, kDialogKeys) && IsDialogMessageW(top, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

bool pumpPendingMessages()
{
    MSG message;
    for (int i = 0; i < kMaxMessagesPerPass && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        dispatchMessage(message);
    }
    return true;
}

WinUiHost::WinUiHost(std::function<HWND()> owner, std::function<void()> boxClosed)
    : owner_(std::move(owner))
    , boxClosed_(std::move(boxClosed))
{
}

WinUiHost::~WinUiHost() = default;

void WinUiHost::yield()
{
    pumpPendingMessages();
}

void WinUiHost::messageBox(const std::string& text, int style, const std::string& title)
{
    const HWND owner = owner_ ? owner_() : nullptr;
    MessageBoxW(owner && IsWindow(owner) ? owner : nullptr, win::wide(text).c_str(), win::wide(title).c_str(),
                MB_OK | static_cast<UINT>(style));
    if (boxClosed_)
        boxClosed_();
}

void WinUiHost::setMousePointer(int code)
{
    hourglass_ = code == PointerHourglass;
    // Shown at once where the pointer is over the window; elsewhere the
    // window's WM_SETCURSOR answers with it.
    POINT at{};
    const HWND owner = owner_ ? owner_() : nullptr;
    if (owner && GetCursorPos(&at)) {
        const HWND under = WindowFromPoint(at);
        if (under && GetAncestor(under, GA_ROOT) == owner)
            SetCursor(LoadCursorW(nullptr, hourglass_ ? IDC_WAIT : IDC_ARROW));
    }
}

// Queued behind the messages already waiting, so the tick never runs inside
// the handler that asked for it; requests made before it runs are one tick.
void WinUiHost::requestTick()
{
    const HWND owner = owner_ ? owner_() : nullptr;
    if (!hasTickHandler() || tickPosted_ || !owner)
        return;
    tickPosted_ = PostMessageW(owner, TickMessage, 0, 0) != FALSE;
}

void WinUiHost::runTick()
{
    tickPosted_ = false;
    runRequestedTick();
}

// One message per call, so that each runs in its turn among the window's
// other messages; the calls wait in order beside the message queue.
void WinUiHost::post(std::function<void()> call)
{
    const HWND owner = owner_ ? owner_() : nullptr;
    if (!owner)
        return;
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(call));
    PostMessageW(owner, PostedMessage, 0, 0);
}

void WinUiHost::runPosted()
{
    std::function<void()> call;
    {
        std::lock_guard lock(postedMutex_);
        if (posted_.empty())
            return;
        call = std::move(posted_.front());
        posted_.pop_front();
    }
    call();
}

bool WinUiHost::setCursorFor(HWND)
{
    if (!hourglass_)
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

} // namespace orvane
