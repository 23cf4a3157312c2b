#pragma once

// Resource ids of the Windows program, shared by its resource script and code.
#define IDI_ORVANE 1
// The built-in copies of the tray images, for when the files beside the
// executable are missing or cannot be read.
#define IDI_VOLUME02 2
#define IDI_VOLUME03 3
