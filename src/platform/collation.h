#pragma once

#include <string_view>

namespace orvane {

// Compares two texts in the letter order of the platform's sorted lists under
// a Western locale: letters without regard to case ("Élan" and "élan" are
// equal), accented letters beside their base letter (just after it when all
// else is equal), punctuation and digits before letters. Both texts must be
// text (see isText). Negative, zero or positive, as strcmp.
//
// One implementation per platform: ICU's root collation elsewhere,
// CompareStringEx on Windows.
int collate(std::string_view a, std::string_view b);

// True when text is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF) without NUL bytes: what collate may be given.
bool isText(std::string_view text);

} // namespace orvane
