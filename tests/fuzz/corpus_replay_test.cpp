// Every input kept from fuzzing, replayed through the entry its fuzzer
// drives: what once crashed or broke a property stays mended.
#include "fuzz/fuzz_entries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <vector>

namespace orvane::fuzz {

void PrintTo(const Target& target, std::ostream* out)
{
    *out << target.name;
}

namespace {

class CorpusReplay : public ::testing::TestWithParam<Target> {};

TEST_P(CorpusReplay, EveryKeptInputHoldsTogether)
{
    const std::filesystem::path folder = std::filesystem::path(ORVANE_FUZZ_CORPUS) / GetParam().name;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const char* broken = GetParam().run(bytes);
        EXPECT_EQ(broken, nullptr) << entry.path() << ": " << broken;
        ++replayed;
    }
    EXPECT_GT(replayed, 0) << "a corpus under " << folder;
}

INSTANTIATE_TEST_SUITE_P(Of, CorpusReplay, ::testing::ValuesIn(Targets),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orvane::fuzz
