// The integrated loudness measured by the core against known figures (EBU
// Tech 3341's tones) and, on Linux, against libebur128 on the same signals.
#include "media/loudness_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#ifndef _WIN32
#include <ebur128.h>
#endif

namespace orvane {
namespace {

// Interleaved tone steps: each (seconds, dBFS) at `hz`, in every channel;
// dBFS below -200 is silence; noise instead of a tone where hz is 0.
struct Step {
    double seconds;
    double dbfs;
};
std::vector<float> signal(int rate, int channels, double hz, const std::vector<Step>& steps)
{
    std::vector<float> out;
    std::uint32_t seed = 12345;
    std::int64_t n = 0;
    for (const Step& step : steps) {
        const double amplitude = step.dbfs < -200 ? 0.0 : std::pow(10.0, step.dbfs / 20.0);
        const std::int64_t frames = std::llround(step.seconds * rate);
        for (std::int64_t i = 0; i < frames; ++i, ++n) {
            double v;
            if (hz > 0) {
                v = std::sin(2 * std::numbers::pi * hz * double(n) / rate);
            } else {
                seed = seed * 1664525u + 1013904223u;
                v = (double(seed) / 4294967296.0) * 2.0 - 1.0;
            }
            for (int c = 0; c < channels; ++c)
                out.push_back(static_cast<float>(amplitude * v * (c == 1 && hz == 0 ? 0.5 : 1.0)));
        }
    }
    return out;
}

std::optional<double> measured(int rate, int channels, const std::vector<float>& samples)
{
    LoudnessMeter meter(rate, channels);
    // In uneven pieces, as a decoder gives them.
    for (std::size_t at = 0; at < samples.size();) {
        const std::size_t piece = std::min<std::size_t>(samples.size() - at, std::size_t(channels) * 1153);
        meter.add({samples.data() + at, piece});
        at += piece;
    }
    return integratedLoudness(meter.blocks());
}

TEST(LoudnessMeter, TonesOfTheEbuTestsReadTheirKnownFigures)
{
    // A stereo 1 kHz sine reads its level in dBFS; the relative gate leaves
    // out steps more than 10 LU under the mean, the absolute one silence
    // under -70.
    const std::vector<std::vector<Step>> cases = {
        {{20, -23}},
        {{20, -33}},
        {{10, -36}, {60, -23}, {10, -36}},
        {{10, -80}, {20, -23}, {10, -80}},
    };
    const double want[] = {-23.0, -33.0, -23.0, -23.0};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::optional<double> got = measured(48000, 2, signal(48000, 2, 1000, cases[i]));
        ASSERT_TRUE(got) << "case " << i + 1;
        EXPECT_NEAR(*got, want[i], 0.1) << "case " << i + 1;
    }
    EXPECT_FALSE(measured(44100, 2, signal(44100, 2, 1000, {{5, -300}})));
    EXPECT_FALSE(measured(44100, 1, signal(44100, 1, 1000, {{0.3, -20}}))) << "shorter than a block";
}

#ifndef _WIN32
TEST(LoudnessMeter, AgreesWithLibebur128)
{
    struct Row {
        int rate;
        int channels;
        double hz;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {44100, 2, 0, {{8, -20}}},
        {44100, 1, 440, {{3, -12}, {2, -40}, {3, -6}}},
        {48000, 2, 60, {{5, -18}}},
        {32000, 2, 5000, {{4, -30}, {4, -300}, {4, -10}}},
        {22050, 1, 0, {{6, -25}}},
    };
    for (const Row& row : rows) {
        const std::vector<float> samples = signal(row.rate, row.channels, row.hz, row.steps);
        ebur128_state* state = ebur128_init(static_cast<unsigned>(row.channels), static_cast<unsigned long>(row.rate),
                                            EBUR128_MODE_I);
        ASSERT_NE(state, nullptr);
        ebur128_add_frames_float(state, samples.data(), samples.size() / static_cast<std::size_t>(row.channels));
        double reference = 0;
        ASSERT_EQ(ebur128_loudness_global(state, &reference), EBUR128_SUCCESS);
        ebur128_destroy(&state);
        const std::optional<double> got = measured(row.rate, row.channels, samples);
        ASSERT_TRUE(got);
        EXPECT_NEAR(*got, reference, 0.05) << row.rate << " Hz, " << row.channels << " channels, tone " << row.hz;
    }
}
#endif

} // namespace
} // namespace orvane
