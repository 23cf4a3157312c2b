#include "settings/place_store.h"
#include "settings/win_registry.h"
#include "win32/frm_about.h"
#include "win32/frm_orvane.h"
#include "win32/frm_splash.h"
#include "win32/media_choice.h"
#include "win32/traced_control.h"
#include "win32/win_lifetime.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The folder dialog is a shell object; it wants a single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    orvane::SettingsProvider settings(orvane::makeWinRegistry);
    orvane::WinLifetime lifetime;

    // The main window can be closed from inside one of its own handlers (the
    // walk and the tick let messages through), so its object is never deleted
    // while the program runs: it goes when the message loop has returned.
    std::unique_ptr<orvane::frmOrvane> mainWindow;
    auto windowGone = [&lifetime] { lifetime.windowGone(); };
    auto showMainWindow = [&] {
        orvane::frmOrvane::Hooks hooks;
        hooks.showAbout = [windowGone] { orvane::frmAbout::showModeless(windowGone); };
        hooks.unloaded = [&lifetime] { lifetime.mainWindowUnloaded(); };
        hooks.messageBoxClosed = windowGone;
        hooks.reads = orvane::MainForm::FileReads::OffWindowThread;
        auto media = orvane::TracedControl::wrapFromEnvironment(orvane::makeWinMediaControl());
        mainWindow = std::make_unique<orvane::frmOrvane>(std::move(media), orvane::makeNativeFileSystem(),
                                                         settings, std::move(hooks));
        mainWindow->keepPlaceIn(orvane::claimRegistryPlace(orvane::makeWinRegistry));
        mainWindow->show();
    };
    orvane::frmSplash splash(settings, showMainWindow);
    splash.show();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        orvane::dispatchMessage(message);

    mainWindow.reset();
    CoUninitialize();
    return static_cast<int>(message.wParam);
}
