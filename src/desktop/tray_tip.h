#pragma once

#include "player/control_model.h"

#include <cstddef>
#include <string>

namespace orvane {

// The tray icon's tip: the main window's caption "MP3 Orvane" alone while
// stopped (or while nothing has sounded yet), and below it, on a second line,
// the title heard (the one the desktop's media controls and the window's
// accessible description name), after "Paused: " while paused. A tip longer
// than mostUtf16Units UTF-16 code units, counted as the desktop counts them,
// is cut at a character and ends in an ellipsis within that bound (0: no
// bound). UTF-8 in and out; a byte that is no part of a UTF-8 character
// counts as one unit, as it shows as one replacement character.
std::string trayTipText(PlayState state, const std::string& title, std::size_t mostUtf16Units = 0);

// text cut as above to at most mostUtf16Units units; unchanged when it fits.
std::string boundedText(const std::string& text, std::size_t mostUtf16Units);

} // namespace orvane
