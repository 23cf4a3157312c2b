// Letter order through Windows itself: the order the system's sorted list
// boxes use, for the invariant locale (the common order of Western
// languages), case ignored.
#ifdef _WIN32

#include "platform/collation.h"

#include "platform/win_api.h"
#include "platform/win_text.h"

namespace orvane {

int collate(std::string_view a, std::string_view b)
{
    const auto wideA = win::toWide(a);
    const auto wideB = win::toWide(b);
    if (!wideA || !wideB)
        return a.compare(b);
    const int result = CompareStringEx(LOCALE_NAME_INVARIANT, NORM_IGNORECASE, wideA->c_str(),
                                       static_cast<int>(wideA->size()), wideB->c_str(),
                                       static_cast<int>(wideB->size()), nullptr, nullptr, 0);
    if (result == 0)
        return a.compare(b);
    return result - CSTR_EQUAL;
}

} // namespace orvane

#endif // _WIN32
