#ifndef _WIN32

#include "platform/collation.h"

#include <unicode/ucol.h>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace orvane {
namespace {

int sign(int n)
{
    return (n > 0) - (n < 0);
}

// Names of printable ASCII are compared without ICU; the order must still be
// exactly ICU's, also for names that share a beginning or differ in case only,
// and a name that goes on past the ASCII is ICU's to compare.
TEST(IcuCollation, PrintableAsciiNamesCompareExactlyAsIcuDoes)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, void (*)(UCollator*)> icu(ucol_open("", &status), ucol_close);
    ASSERT_TRUE(U_SUCCESS(status));
    ucol_setStrength(icu.get(), UCOL_SECONDARY);

    std::mt19937 random(11);
    std::uniform_int_distribution<int> printable(' ', '~');
    std::uniform_int_distribution<int> length(0, 6);
    auto name = [&] {
        std::string text(static_cast<std::size_t>(length(random)), ' ');
        for (char& c : text)
            c = static_cast<char>(printable(random));
        return text;
    };
    for (int i = 0; i < 200000; ++i) {
        const std::string a = name();
        std::string b = i % 3 == 0 ? a.substr(0, a.size() / 2) + name() : name();
        if (i % 3 == 1 && !b.empty())
            b[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(b[0])));
        if (i % 7 == 3)
            b = a + "\xE2\x80\x8B"; // and a tail ICU ignores: no longer ASCII, still equal

        const int expected = ucol_strcollUTF8(icu.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                                              static_cast<int32_t>(b.size()), &status);
        ASSERT_EQ(sign(collate(a, b)), expected) << "\"" << a << "\" / \"" << b << "\"";
    }
}

} // namespace
} // namespace orvane

#endif // _WIN32
