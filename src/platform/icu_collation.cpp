// Letter order through ICU: the root collation (the common order of Western
// languages) at secondary strength, so case is ignored and accents count only
// after the base letters.
#ifndef _WIN32

#include "platform/collation.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>
#include <optional>

namespace orvane {
namespace {

struct CollatorCloser {
    void operator()(UCollator* c) const { ucol_close(c); }
};
using Collator = std::unique_ptr<UCollator, CollatorCloser>;

// Made once; ICU allows any number of comparisons on one collator at once.
Collator openCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    Collator collator(ucol_open("", &status));
    if (U_FAILURE(status))
        return nullptr;
    ucol_setStrength(collator.get(), UCOL_SECONDARY);
    return collator;
}

const UCollator* collator()
{
    static const Collator instance = openCollator();
    return instance.get();
}

// Names made of printable ASCII alone, by far the most common, need no ICU
// call: in the root collation each such character has one weight of its own
// (both cases of a letter share it) and none combine with another, so
// comparing the weights one by one gives ICU's order. The weights are taken
// from the collator itself; 0 marks the bytes left to ICU.
using AsciiWeights = std::array<unsigned char, 256>;

AsciiWeights asciiWeights(const UCollator* c)
{
    AsciiWeights weights{};
    if (c == nullptr)
        return weights;
    std::array<char, 95> chars;
    std::iota(chars.begin(), chars.end(), ' ');
    auto order = [c](char x, char y) {
        const UChar one[] = {UChar(x)};
        const UChar other[] = {UChar(y)};
        return ucol_strcoll(c, one, 1, other, 1);
    };
    std::sort(chars.begin(), chars.end(), [&](char x, char y) { return order(x, y) == UCOL_LESS; });
    unsigned char weight = 1;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (i > 0 && order(chars[i - 1], chars[i]) != UCOL_EQUAL)
            ++weight;
        weights[static_cast<unsigned char>(chars[i])] = weight;
    }
    return weights;
}

// Negative, zero or positive; nothing when either text holds anything but
// printable ASCII.
std::optional<int> compareAscii(std::string_view a, std::string_view b, const AsciiWeights& weights)
{
    auto weight = [&](char ch) { return weights[static_cast<unsigned char>(ch)]; };
    const std::size_t n = std::min(a.size(), b.size());
    int order = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = weight(a[i]);
        const unsigned char y = weight(b[i]);
        if (x == 0 || y == 0)
            return std::nullopt;
        if (order == 0 && x != y)
            order = x < y ? -1 : 1;
    }
    const std::string_view rest = a.size() > n ? a.substr(n) : b.substr(n);
    if (!std::all_of(rest.begin(), rest.end(), weight))
        return std::nullopt;
    if (order == 0 && a.size() != b.size())
        order = a.size() < b.size() ? -1 : 1;
    return order;
}

} // namespace

int collate(std::string_view a, std::string_view b)
{
    static const AsciiWeights weights = asciiWeights(collator());
    if (const auto order = compareAscii(a, b, weights))
        return *order;
    UErrorCode status = U_ZERO_ERROR;
    const UCollator* c = collator();
    const UCollationResult result = c == nullptr
        ? UCOL_EQUAL
        : ucol_strcollUTF8(c, a.data(), static_cast<int32_t>(a.size()), b.data(),
                           static_cast<int32_t>(b.size()), &status);
    if (c == nullptr || U_FAILURE(status)) // no collation data: plain bytes
        return a.compare(b);
    return result;
}

} // namespace orvane

#endif // _WIN32
