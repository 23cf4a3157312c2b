// One libFuzzer target: ORVANE_FUZZ_ENTRY names the entry it drives.
#include "fuzz/fuzz_entries.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const char* broken = orvane::fuzz::ORVANE_FUZZ_ENTRY({data, size})) {
        std::fprintf(stderr, "broken: %s\n", broken);
        std::abort();
    }
    return 0;
}
