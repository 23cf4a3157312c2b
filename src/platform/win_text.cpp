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

} // namespace orvane::win

#endif
