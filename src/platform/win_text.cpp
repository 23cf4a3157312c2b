#ifdef _WIN32

#include "platform/win_text.h"

#include <climits>

#include "platform/win_api.h"

namespace orvane::win {

std::optional<std::wstring> toWide(std::string_view utf8)
{
    if (utf8.empty())
        return std::wstring{};
    if (utf8.find('\0') != std::string_view::npos || utf8.size() > INT_MAX)
        return std::nullopt;
    const int inLen = static_cast<int>(utf8.size());
    const int outLen = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, nullptr, 0);
    if (outLen <= 0)
        return std::nullopt;
    std::wstring out(static_cast<std::size_t>(outLen), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, out.data(), outLen);
    return out;
}

std::optional<std::string> toUtf8(std::wstring_view utf16)
{
    if (utf16.empty())
        return std::string{};
    if (utf16.size() > INT_MAX)
        return std::nullopt;
    const int inLen = static_cast<int>(utf16.size());
    const int outLen = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLen, nullptr, 0,
                                           nullptr, nullptr);
    if (outLen <= 0)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(outLen), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLen, out.data(), outLen, nullptr, nullptr);
    return out;
}

std::optional<std::wstring> fullPath(std::string_view utf8)
{
    const auto wide = toWide(utf8);
    if (!wide || wide->empty())
        return std::nullopt;
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return std::nullopt;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

std::optional<std::string> fullUtf8Path(std::string_view utf8)
{
    const std::optional<std::wstring> full = fullPath(utf8);
    return full ? toUtf8(*full) : std::nullopt;
}

std::vector<std::string> fullUtf8Paths(const std::vector<std::string>& names)
{
    std::vector<std::string> full;
    full.reserve(names.size());
    for (const std::string& name : names)
        if (std::optional<std::string> path = fullUtf8Path(name))
            full.push_back(std::move(*path));
    return full;
}

} // namespace orvane::win

#endif
