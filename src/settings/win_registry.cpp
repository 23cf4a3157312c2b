#ifdef _WIN32

#include "settings/win_registry.h"

#include "platform/win_text.h"

#include <array>
#include <stdexcept>
#include <string_view>

#include "platform/win_api.h"

namespace orvane {

namespace {

class RegistryError : public std::runtime_error {
public:
    RegistryError(const std::string& what, const std::string& path, LSTATUS status)
        : std::runtime_error(what + " " + path + " (Windows error " + std::to_string(status) + ")")
    {
    }
};

bool equalsNoCase(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

struct Hive {
    std::string_view longName;
    std::string_view shortName;
    HKEY key;
};

// The names the script shell accepts: three root keys have a short form.
HKEY hiveNamed(std::string_view name)
{
    const std::array<Hive, 5> hives{{
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", "", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", "", HKEY_CURRENT_CONFIG},
    }};
    for (const Hive& hive : hives) {
        if (equalsNoCase(name, hive.longName) || (!hive.shortName.empty() && equalsNoCase(name, hive.shortName)))
            return hive.key;
    }
    return nullptr;
}

// "HKEY_CURRENT_USER\Software\Orvane\PlayOrder": hive, then the key path up
// to the last "\", then the value name.
struct ValuePath {
    HKEY hive;
    std::wstring key;
    std::wstring name;
};

std::wstring wide(std::string_view text, const std::string& path)
{
    auto w = win::toWide(text);
    if (!w)
        throw RegistryError("not valid UTF-8 text in", path, ERROR_INVALID_PARAMETER);
    return *w;
}

ValuePath parseValuePath(const std::string& path)
{
    const std::size_t hiveEnd = path.find('\\');
    if (hiveEnd == std::string::npos)
        throw RegistryError("no value named by", path, ERROR_INVALID_PARAMETER);
    const HKEY hive = hiveNamed(std::string_view(path).substr(0, hiveEnd));
    if (!hive)
        throw RegistryError("unknown root key in", path, ERROR_INVALID_PARAMETER);
    const std::string_view rest = std::string_view(path).substr(hiveEnd + 1);
    const std::size_t keyEnd = rest.rfind('\\');
    if (keyEnd == std::string_view::npos)
        return {hive, std::wstring{}, wide(rest, path)};
    return {hive, wide(rest.substr(0, keyEnd), path), wide(rest.substr(keyEnd + 1), path)};
}

class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle()
    {
        if (h_)
            RegCloseKey(h_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY* out() { return &h_; }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

class WinRegistry final : public Registry {
public:
    void write(const std::string& valuePath, const std::string& value) override
    {
        const ValuePath where = parseValuePath(valuePath);
        const std::wstring data = wide(value, valuePath);

        KeyHandle key;
        LSTATUS status = RegCreateKeyExW(where.hive, where.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE, nullptr, key.out(), nullptr);
        if (status != ERROR_SUCCESS)
            throw RegistryError("cannot create the key of", valuePath, status);

        const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)); // with the closing NUL
        status = RegSetValueExW(key.get(), where.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                bytes);
        if (status != ERROR_SUCCESS)
            throw RegistryError("cannot write", valuePath, status);
    }

    std::optional<std::string> read(const std::string& valuePath) override
    {
        const ValuePath where = parseValuePath(valuePath);
        std::wstring buffer;
        DWORD bytes = 0;
        LSTATUS status;
        // The value may grow between asking its size and reading it.
        do {
            buffer.resize(bytes / sizeof(wchar_t) + 1);
            bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
            status = RegGetValueW(where.hive, where.key.c_str(), where.name.c_str(), RRF_RT_REG_SZ, nullptr,
                                  buffer.data(), &bytes);
        } while (status == ERROR_MORE_DATA);

        if (status == ERROR_FILE_NOT_FOUND)
            return std::nullopt;
        if (status != ERROR_SUCCESS)
            throw RegistryError("cannot read", valuePath, status);

        buffer.resize(bytes / sizeof(wchar_t));
        while (!buffer.empty() && buffer.back() == L'\0')
            buffer.pop_back();
        auto text = win::toUtf8(buffer);
        if (!text)
            throw RegistryError("no UTF-8 form for", valuePath, ERROR_NO_UNICODE_TRANSLATION);
        return text;
    }
};

} // namespace

std::unique_ptr<Registry> makeWinRegistry()
{
    return std::make_unique<WinRegistry>();
}

} // namespace orvane

#endif
