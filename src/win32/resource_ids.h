#pragma once

// Resource ids of the Windows program, shared by its resource script and code.
#define IDI_ORVANE 1
