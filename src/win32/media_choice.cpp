#include "win32/media_choice.h"

#include "platform/win_api.h"
#include "win32/mci_control.h"
#include "win32/wasapi_control.h"

#include <cwchar>

namespace orvane {

std::unique_ptr<MMControl> makeWinMediaControl()
{
    wchar_t wanted[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"ORVANE_MEDIA", wanted, 8);
    if (length == 0 || length >= 8 || _wcsicmp(wanted, L"mci") != 0) {
        auto control = std::make_unique<WasapiControl>();
        // Where there is no sound device at all yet, this control takes up
        // the first that comes (MCI would be had for the whole run); one
        // that is there but refuses its stream plays through MCI.
        if (control->isReady() && (control->hadDeviceAtStart() || waveOutGetNumDevs() == 0))
            return control;
    }
    return std::make_unique<MciControl>();
}

} // namespace orvane
