// The Linux program's decode for measuring: libmpg123 on a tone lame made,
// measured as the tone itself measures, whole and no longer.
#include "media/loudness_meter.h"
#include "media/measured_loudness.h"
#include "qt/mpg123_decoder.h"
#include "qt/mpv_fixtures.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace orvane {
namespace {

using testing::MpvTempDir;
using testing::writeBytes;
using testing::writeSineMp3;

TEST(Mpg123Decoder, ATonesLoudnessPeakAndLengthAreTheToneItself)
{
    MpvTempDir dir;
    const std::string path = dir.file("tone.mp3");
    writeSineMp3(path, 2.0); // 440 Hz, 8000 of 32768, mono, 44.1 kHz
    const int rate = 44100;
    std::vector<float> pcm;
    for (int i = 0; i < 2 * rate; ++i)
        pcm.push_back(static_cast<float>(8000.0 / 32768.0 * std::sin(2.0 * std::numbers::pi * 440.0 * i / rate)));
    LoudnessMeter meter(rate, 1);
    meter.add(pcm);
    const std::optional<double> expected = integratedLoudness(meter.blocks());
    ASSERT_TRUE(expected);

    Mpg123Decoder decoder;
    std::size_t frames = 0;
    EXPECT_TRUE(decoder.decode(path, [&](int r, int channels, std::span<const float> samples) {
        EXPECT_EQ(r, rate);
        EXPECT_EQ(channels, 1);
        frames += samples.size();
        return true;
    }));
    EXPECT_EQ(frames, std::size_t(2 * rate)) << "the encoder's delay and padding cut";

    const std::atomic<bool> stop{false};
    const std::optional<MeasuredLoudness> measured = measureFile(decoder, path, stop);
    ASSERT_TRUE(measured);
    ASSERT_TRUE(integratedLoudness({&*measured}));
    // lame at its 128 kbps gives the tone back 0.4 dB down (its own decoder
    // says the same, below): within that of the tone, and of lame's decode.
    EXPECT_NEAR(*integratedLoudness({&*measured}), *expected, 0.5);
    EXPECT_NEAR(measured->peak, 8000.0 / 32768.0, 0.03);

    QProcess lame;
    lame.start("lame", {"--quiet", "--decode", "-t", QString::fromStdString(path), QString::fromStdString(dir.file("pcm"))});
    ASSERT_TRUE(lame.waitForFinished(60000) && lame.exitCode() == 0);
    const std::string bytes = testing::readBytes(dir.file("pcm"));
    std::vector<float> heard;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        heard.push_back(static_cast<float>(static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i])
                                                                     | static_cast<unsigned char>(bytes[i + 1]) << 8))
                        / 32768.0f);
    LoudnessMeter lameMeter(rate, 1);
    lameMeter.add(heard);
    ASSERT_TRUE(integratedLoudness(lameMeter.blocks()));
    EXPECT_NEAR(*integratedLoudness({&*measured}), *integratedLoudness(lameMeter.blocks()), 0.06);
}

TEST(Mpg123Decoder, WhatIsNoSoundOrNoFileIsNotMeasured)
{
    MpvTempDir dir;
    writeBytes(dir.file("noise.mp3"), std::string(50000, '\x5a'));
    Mpg123Decoder decoder;
    const std::atomic<bool> stop{false};
    EXPECT_FALSE(measureFile(decoder, dir.file("noise.mp3"), stop));
    EXPECT_FALSE(measureFile(decoder, dir.file("none.mp3"), stop));
    writeSineMp3(dir.file("tone.mp3"), 1.0);
    const std::atomic<bool> stopped{true};
    EXPECT_FALSE(measureFile(decoder, dir.file("tone.mp3"), stopped)) << "stopped: no measure of part of it";
}

} // namespace
} // namespace orvane
