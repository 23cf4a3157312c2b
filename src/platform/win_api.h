#pragma once

// The Win32 API as the program includes it: without the min/max macros that
// clash with the standard library, and without the rarely used parts.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
