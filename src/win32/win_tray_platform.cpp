#include "win32/win_tray_platform.h"

#include "resource_ids.h"
#include "win32/win_window.h"

#include <shellapi.h>

#include <iterator>

namespace orvane {

namespace {

// A procedure of the system's kind, as SetWindowLongPtrW gave it back: the
// core calls it as it calls any other, and putting it back puts back the
// procedure itself.
struct SystemWindowProc {
    WNDPROC proc;
    std::int32_t operator()(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam,
                            std::intptr_t lParam) const
    {
        return static_cast<std::int32_t>(
            CallWindowProcW(proc, reinterpret_cast<HWND>(window), msg, wParam, lParam));
    }
};

// The core's procedure of each hooked window (one thread, the window thread).
std::map<HWND, WindowProc>& hookedProcs()
{
    static std::map<HWND, WindowProc> procs;
    return procs;
}

int builtInId(const std::string& name)
{
    if (name == "Volume03.ico")
        return IDI_VOLUME03;
    if (name == "Volume02.ico")
        return IDI_VOLUME02;
    return IDI_ORVANE;
}

HICON loadIcon(const std::wstring& path, const std::string& name, int size, bool* fromFile)
{
    if (auto icon = static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE))) {
        *fromFile = true;
        return icon;
    }
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(builtInId(name)),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

NOTIFYICONDATAW toSystem(const NotifyIconData& data, const TrayPictures& pictures)
{
    NOTIFYICONDATAW nid{};
    nid.cbSize = NOTIFYICONDATAW_V2_SIZE; // the record whose tip holds 128 characters
    nid.hWnd = reinterpret_cast<HWND>(data.hWnd);
    nid.uID = data.uID;
    nid.uFlags = data.uFlags;
    nid.uCallbackMessage = data.uCallbackMessage;
    if (const TrayPictures::Picture* picture = pictures.picture(data.hIcon))
        nid.hIcon = picture->small;
    lstrcpynW(nid.szTip, win::wide(data.szTip).c_str(), static_cast<int>(std::size(nid.szTip)));
    return nid;
}

} // namespace

TrayPictures::TrayPictures(std::wstring folder)
    : folder_(folder.empty() ? win::programFolder() : std::move(folder))
{
}

TrayPictures::~TrayPictures()
{
    while (!pictures_.empty())
        release(pictures_.begin()->first);
}

IconHandle TrayPictures::load(const std::string& name)
{
    const std::wstring path = folder_ + L"\\" + win::wide(name);
    Picture picture;
    bool smallFromFile = false;
    bool largeFromFile = false;
    picture.small = loadIcon(path, name, GetSystemMetrics(SM_CXSMICON), &smallFromFile);
    picture.large = loadIcon(path, name, GetSystemMetrics(SM_CXICON), &largeFromFile);
    picture.fromFile = smallFromFile && largeFromFile;
    const IconHandle handle = nextHandle_++;
    if (nextHandle_ == 0) // zero means "no icon" in the tray record
        nextHandle_ = 1;
    pictures_[handle] = picture;
    return handle;
}

const TrayPictures::Picture* TrayPictures::picture(IconHandle handle) const
{
    const auto it = pictures_.find(handle);
    return it == pictures_.end() ? nullptr : &it->second;
}

void TrayPictures::release(IconHandle handle)
{
    const auto it = pictures_.find(handle);
    if (it == pictures_.end())
        return;
    for (HICON icon : {it->second.small, it->second.large}) {
        if (icon)
            DestroyIcon(icon);
    }
    pictures_.erase(it);
}

WinTrayPlatform::~WinTrayPlatform()
{
    hookedProcs().clear();
}

void WinTrayPlatform::notifyIconAdd(const NotifyIconData& data)
{
    NOTIFYICONDATAW nid = toSystem(data, pictures_);
    Shell_NotifyIconW(NIM_ADD, &nid);
}

void WinTrayPlatform::notifyIconDelete(const NotifyIconData& data)
{
    NOTIFYICONDATAW nid = toSystem(data, pictures_);
    Shell_NotifyIconW(NIM_DELETE, &nid);
}

void WinTrayPlatform::notifyIconModify(const NotifyIconData& data)
{
    NOTIFYICONDATAW nid = toSystem(data, pictures_);
    Shell_NotifyIconW(NIM_MODIFY, &nid);
}

WindowProc WinTrayPlatform::setWindowProc(WindowHandle window, WindowProc proc)
{
    const auto hwnd = reinterpret_cast<HWND>(window);
    auto& procs = hookedProcs();
    WindowProc ours = procs.count(hwnd) ? procs[hwnd] : WindowProc{};
    WNDPROC next = &WinTrayPlatform::hookProc;
    if (const auto* system = proc.target<SystemWindowProc>()) {
        next = system->proc;
        procs.erase(hwnd);
    } else {
        procs[hwnd] = std::move(proc);
    }
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next)));
    if (previous == &WinTrayPlatform::hookProc)
        return ours;
    return SystemWindowProc{previous};
}

LRESULT CALLBACK WinTrayPlatform::hookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& procs = hookedProcs();
    const auto it = procs.find(window);
    if (it == procs.end() || !it->second)
        return DefWindowProcW(window, message, wParam, lParam);
    // A copy: the procedure may put another in its place while it runs.
    const WindowProc proc = it->second;
    return proc(reinterpret_cast<WindowHandle>(window), message, wParam, lParam);
}

} // namespace orvane
