#pragma once

#ifdef _WIN32

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::win {

// The core keeps text as UTF-8; Win32 wants UTF-16. Nothing when the text
// is not valid UTF-8 or holds a NUL (Win32 would cut it short there).
std::optional<std::wstring> toWide(std::string_view utf8);

// Nothing when the text is not valid UTF-16 (an unpaired surrogate, which
// NTFS names may hold): such text has no UTF-8 form that leads back to it.
std::optional<std::string> toUtf8(std::wstring_view utf16);

// The full path of a file the program was given by name. Decoders read a name
// that starts with "word:" as an address to fetch; a full path starts with a
// drive or a server, so it is always a file to them, and a relative name is a
// file in the current folder. Nothing when the name has no UTF-16 form.
std::optional<std::wstring> fullPath(std::string_view utf8);

// The same full path in UTF-8, as the levelling names files; and the full
// paths of names, those without one left out.
std::optional<std::string> fullUtf8Path(std::string_view utf8);
std::vector<std::string> fullUtf8Paths(const std::vector<std::string>& names);

} // namespace orvane::win

#endif
