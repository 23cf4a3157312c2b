#ifdef _WIN32

#include "settings/mod_reg.h"
#include "settings/settings_store.h"
#include "settings/win_registry.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/win_api.h"

namespace orvane {
namespace {

constexpr const wchar_t* OrvaneKey = L"Software\\Orvane";

struct StoredValue {
    DWORD type;
    std::vector<BYTE> data;
    friend bool operator==(const StoredValue&, const StoredValue&) = default;
};

// Every value of HKCU\Software\Orvane, or an empty map when the key is missing.
std::map<std::wstring, StoredValue> valuesOfKey()
{
    std::map<std::wstring, StoredValue> values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, OrvaneKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256;
        DWORD type = 0;
        BYTE data[4096];
        DWORD dataLen = sizeof data;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS)
            break;
        values[std::wstring(name, nameLen)] = StoredValue{type, std::vector<BYTE>(data, data + dataLen)};
    }
    RegCloseKey(key);
    return values;
}

StoredValue text(const std::wstring& s)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(s.c_str());
    return StoredValue{REG_SZ, std::vector<BYTE>(bytes, bytes + (s.size() + 1) * sizeof(wchar_t))};
}

bool keyExists()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, OrvaneKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The tests work on the program's real key. Whatever it held before is put
// back afterwards, so running them on a desktop keeps its settings.
class WinRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hadKey_ = keyExists();
        saved_ = valuesOfKey();
        RegDeleteTreeW(HKEY_CURRENT_USER, OrvaneKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, OrvaneKey);
        ASSERT_FALSE(keyExists());
    }

    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, OrvaneKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, OrvaneKey);
        if (!hadKey_)
            return;
        HKEY key;
        RegCreateKeyExW(HKEY_CURRENT_USER, OrvaneKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        for (const auto& [name, value] : saved_)
            RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
        RegCloseKey(key);
    }

    bool hadKey_ = false;
    std::map<std::wstring, StoredValue> saved_;
    SettingsProvider settings{makeWinRegistry};
};

TEST_F(WinRegistryTest, FirstWriteCreatesTheKeyAndStoresText)
{
    settings.WriteRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\PlayOrder", "2");
    EXPECT_TRUE(keyExists());
    EXPECT_EQ(valuesOfKey(), (std::map<std::wstring, StoredValue>{{L"PlayOrder", text(L"2")}}));

    settings.WriteRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\PlayOrder", "1");
    settings.WriteRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath", "");
    EXPECT_EQ(valuesOfKey(),
              (std::map<std::wstring, StoredValue>{{L"PlayOrder", text(L"1")}, {L"PlayPath", text(L"")}}));
}

TEST_F(WinRegistryTest, ReadGivesTheStoredTextAndEmptyTextWhenMissing)
{
    EXPECT_EQ(settings.ReadRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\Version"), ""); // no key

    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, OrvaneKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring version = L"2.1.0";
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    EXPECT_EQ(settings.ReadRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\Version"), "2.1.0");
    EXPECT_EQ(settings.ReadRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\Sub"), ""); // key, no value
    auto reg = makeWinRegistry();
    EXPECT_EQ(reg->read("HKEY_CURRENT_USER\\Software\\Orvane\\Sub"), std::nullopt);
    EXPECT_EQ(reg->read("HKEY_CURRENT_USER\\Software\\Orvane\\Version"), "2.1.0");
}

TEST_F(WinRegistryTest, ShortAndLongRootNamesReachTheSameValue)
{
    settings.WriteRegValue("HKCU\\Software\\Orvane\\Repeat", "1");
    EXPECT_EQ(valuesOfKey(), (std::map<std::wstring, StoredValue>{{L"Repeat", text(L"1")}}));
    EXPECT_EQ(settings.ReadRegValue("hkey_current_user\\Software\\Orvane\\Repeat"), "1");
    EXPECT_EQ(settings.ReadRegValue("HKCU\\Software\\Orvane\\Repeat"), "1");

    // An unknown root is a failure, which the store swallows.
    EXPECT_THROW(makeWinRegistry()->write("HKEY_NOWHERE\\Software\\Orvane\\Repeat", "0"), std::exception);
    settings.WriteRegValue("HKEY_NOWHERE\\Software\\Orvane\\Repeat", "0");
    EXPECT_EQ(settings.ReadRegValue("HKEY_NOWHERE\\Software\\Orvane\\Repeat"), "");
    EXPECT_EQ(settings.ReadRegValue("HKCU\\Software\\Orvane\\Repeat"), "1");
}

TEST_F(WinRegistryTest, TextIsStoredAsUtf16AndReadBackAsUtf8)
{
    const std::string path = "D:\\Música\\日本の歌 – Ünïcødé";
    settings.WriteRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath", path);
    EXPECT_EQ(valuesOfKey(),
              (std::map<std::wstring, StoredValue>{{L"PlayPath", text(L"D:\\Música\\日本の歌 – Ünïcødé")}}));
    EXPECT_EQ(settings.ReadRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"), path);
}

TEST_F(WinRegistryTest, PathEndingInSeparatorNamesTheKeysDefaultValue)
{
    settings.WriteRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\", "x");
    EXPECT_EQ(valuesOfKey(), (std::map<std::wstring, StoredValue>{{L"", text(L"x")}}));
    EXPECT_EQ(settings.ReadRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\"), "x");
}

TEST_F(WinRegistryTest, FirstRunWritesExactlyTheFiveTextValues)
{
    applyFirstRunRule(settings);
    EXPECT_EQ(valuesOfKey(), (std::map<std::wstring, StoredValue>{
                                 {L"PlayOrder", text(L"2")},
                                 {L"Sub", text(L"0")},
                                 {L"Repeat", text(L"0")},
                                 {L"PlayPath", text(L"")},
                                 {L"Version", text(L"3.0.0")},
                             }));
}

} // namespace
} // namespace orvane

#endif
