// Samples of one rate and channel count made into another's: the same sound
// at the same speed, however the input comes in pieces.
#include "media/pcm_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace orvane {
namespace {

std::vector<float> sine(double hz, int rate, std::int64_t frames, int channels = 1)
{
    std::vector<float> s;
    for (std::int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s.push_back(static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    return s;
}

// beforeFinish: where given, how much had come out before the end was told.
std::vector<float> convert(PcmConverter& converter, const std::vector<float>& in, std::size_t piece,
                           std::size_t* beforeFinish = nullptr)
{
    std::vector<float> out;
    for (std::size_t at = 0; at < in.size(); at += piece)
        converter.push(std::span(in).subspan(at, std::min(piece, in.size() - at)), out);
    if (beforeFinish)
        *beforeFinish = out.size();
    converter.finish(out);
    return out;
}

TEST(PcmConverter, ChannelsAreSpreadOrMixedAtTheSameRate)
{
    PcmConverter monoToStereo(44100, 1, 44100, 2);
    EXPECT_EQ(convert(monoToStereo, {0.25f, -0.5f}, 1), (std::vector<float>{0.25f, 0.25f, -0.5f, -0.5f}));
    PcmConverter stereoToMono(44100, 2, 44100, 1);
    EXPECT_EQ(convert(stereoToMono, {0.25f, 0.75f, -1.0f, 0.0f}, 2), (std::vector<float>{0.5f, -0.5f}));
    PcmConverter monoToSurround(44100, 1, 44100, 6);
    EXPECT_EQ(convert(monoToSurround, {0.5f}, 1), (std::vector<float>{0.5f, 0.5f, 0, 0, 0, 0}));
    PcmConverter stereoToQuad(44100, 2, 44100, 4);
    EXPECT_EQ(convert(stereoToQuad, {0.25f, -0.5f, 0.125f, 1.0f}, 2),
              (std::vector<float>{0.25f, -0.5f, 0, 0, 0.125f, 1.0f, 0, 0}));
}

TEST(PcmConverter, AnotherRateKeepsLengthPitchAndLevel)
{
    struct Case {
        int inRate, inChannels, outRate, outChannels;
    };
    for (const Case c : {Case{44100, 1, 48000, 2}, Case{48000, 2, 44100, 2}, Case{22050, 2, 48000, 1}}) {
        SCOPED_TRACE(std::to_string(c.inRate) + " to " + std::to_string(c.outRate));
        const std::int64_t inFrames = c.inRate; // one second
        const auto in = sine(1000.0, c.inRate, inFrames, c.inChannels);
        PcmConverter converter(c.inRate, c.inChannels, c.outRate, c.outChannels);
        const auto out = convert(converter, in, 1000 * static_cast<std::size_t>(c.inChannels));
        ASSERT_EQ(out.size(), static_cast<std::size_t>(c.outRate * c.outChannels));
        // Away from the two ends, the very tone at the output's rate.
        const auto expected = sine(1000.0, c.outRate, c.outRate, c.outChannels);
        double worst = 0.0;
        for (std::size_t i = 200 * static_cast<std::size_t>(c.outChannels); i + 200 * static_cast<std::size_t>(c.outChannels) < out.size(); ++i)
            worst = std::max(worst, static_cast<double>(std::abs(out[i] - expected[i])));
        EXPECT_LT(worst, 0.005);
    }
}

TEST(PcmConverter, PiecesOfAnySizeGiveTheSameOutput)
{
    const auto in = sine(3000.0, 44100, 20000, 2);
    PcmConverter whole(44100, 2, 48000, 2);
    const auto reference = convert(whole, in, in.size());
    ASSERT_EQ(reference.size(), 2u * ((20000u * 48000u + 44099u) / 44100u));
    for (const std::size_t piece : {2u, 94u, 2048u, 8190u}) {
        PcmConverter pieces(44100, 2, 48000, 2);
        std::size_t early = 0;
        EXPECT_EQ(convert(pieces, in, piece, &early), reference) << piece;
        // Only the last frames, whose taps reach past the input so far, wait
        // for the end: a stream is fed as its input comes.
        EXPECT_GE(early + 2 * 20, reference.size()) << piece;
    }
}

} // namespace
} // namespace orvane
