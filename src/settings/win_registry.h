#pragma once

#ifdef _WIN32

#include "settings/mod_reg.h"

#include <memory>

namespace orvane {

// The per-user registry through the Win32 registry API. A value path is a
// root key ("HKEY_CURRENT_USER" or "HKCU", "HKEY_LOCAL_MACHINE" or "HKLM", ...), a
// key path and a value name, joined by "\"; a path that ends in "\" names
// the key's default value. Values are written as REG_SZ text; reading gives
// REG_SZ text, and nothing when the value or its key is missing. Other
// failures throw.
std::unique_ptr<Registry> makeWinRegistry();

} // namespace orvane

#endif
