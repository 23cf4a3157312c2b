#pragma once

namespace orvane {

// Makes the program's own accessible interfaces known to Qt, so that a screen
// reader (through AT-SPI) finds each window as a frame, the option buttons as
// radio buttons, the About window's link as a link it can press, and no
// divider lines. Each window calls it before it builds its widgets; only the
// first call does anything.
void installAccessibleInterfaces();

} // namespace orvane
