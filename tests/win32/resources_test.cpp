// The Windows program's resources, checked on this test program, which is
// linked with the same resource script: what the shell reads from the file,
// and what the system makes of the manifest when the process starts.

#include "platform/win_api.h"
#include "platform/win_text.h"
#include "resource_ids.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace orvane {
namespace {

std::wstring wide(const char* utf8)
{
    return win::toWide(utf8).value_or(L"?");
}

class VersionResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t path[MAX_PATH];
        ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
        ASSERT_GT(size, 0u);
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data_.data()));
    }

    std::wstring text(const wchar_t* name)
    {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), key.c_str(), &value, &length) || length == 0)
            return L"(missing)";
        return std::wstring(static_cast<const wchar_t*>(value), length - 1);
    }

    std::vector<char> data_;
};

TEST_F(VersionResourceTest, CarriesTheProgramVersion)
{
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "."
        + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." + std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, ORVANE_VERSION_TEXT);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);

    EXPECT_EQ(text(L"FileVersion"), wide(ORVANE_VERSION_TEXT));
    EXPECT_EQ(text(L"ProductVersion"), wide(ORVANE_VERSION_TEXT));
    EXPECT_EQ(text(L"LegalCopyright"), L"Copyright \u00A9 The Orvane authors");
}

TEST(ApplicationIconTest, HoldsEverySizeTheShellShows)
{
    const HINSTANCE self = GetModuleHandleW(nullptr);
    ASSERT_NE(LoadIconW(self, MAKEINTRESOURCEW(IDI_ORVANE)), nullptr);
    const HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(IDI_ORVANE), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
    ASSERT_NE(group, nullptr);
    // The icon directory: a count at byte 4, then 14-byte entries that start
    // with the width (0 for 256).
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(self, group)));
    std::set<int> widths;
    for (int i = 0; i < (directory[4] | directory[5] << 8); ++i)
        widths.insert(directory[6 + 14 * i] == 0 ? 256 : directory[6 + 14 * i]);
    EXPECT_EQ(widths, (std::set<int>{16, 24, 32, 48, 64, 96, 128, 256}));
}

TEST(ManifestTest, GivesCommonControlsSixAndPerMonitorDpi)
{
    // Version 6 lives in the side-by-side store, the older one in the system
    // folder. (Wine's copy of version 6 reports 5.81 from DllGetVersion.)
    const HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(comctl, path, MAX_PATH), 0u);
    std::wstring lower(path);
    CharLowerW(lower.data());
    EXPECT_NE(lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos) << lower;
    FreeLibrary(comctl);

    // PerMonitorV2 where the system knows it, PerMonitor before that (Wine 8).
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()), DPI_AWARENESS_PER_MONITOR_AWARE);
}

} // namespace
} // namespace orvane
