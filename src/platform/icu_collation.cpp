// Letter order through ICU: the root collation (the common order of Western
// languages) at secondary strength, so case is ignored and accents count only
// after the base letters.
#ifndef _WIN32

#include "platform/collation.h"

#include <unicode/ucol.h>

#include <algorithm>
#include <cstring>
#include <memory>

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

} // namespace

int collate(std::string_view a, std::string_view b)
{
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
