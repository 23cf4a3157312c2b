// The Windows program's folders measured as the Linux one's are: Media
// Foundation's decode of the tone files, a folder of them levelled by the
// measure once the WASAPI control has named it ahead.
#include "win32/mf_loudness_decoder.h"
#include "win32/wasapi_control.h"
#include "media/levelling.h"
#include "media/loudness_meter.h"
#include "platform/win_text.h"
#include "media_test_support.h"
#include "support/temp_tree.h"

#include <cmath>
#include <filesystem>
#include <numbers>

namespace orvane::test {
namespace {

// The tone make_tones.sh encodes (8000 of 32768 at 440 Hz in each channel),
// measured as generated.
double toneLufs(int rate, int channels, int ms)
{
    std::vector<float> pcm;
    const int frames = rate * ms / 1000;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm.push_back(static_cast<float>(8000.0 / 32768.0 * std::sin(2.0 * std::numbers::pi * 440.0 * i / rate)));
    LoudnessMeter meter(rate, channels);
    meter.add(pcm);
    return integratedLoudness(meter.blocks()).value_or(-999);
}

TEST(MfLoudnessDecoder, DecodesEachToneWholeInItsOwnFormat)
{
    struct Case {
        int rate, channels, ms;
    };
    for (const Case& c : {Case{44100, 1, 1000}, Case{48000, 2, 1000}}) {
        const std::string path = tonePath(c.rate, c.channels, c.ms);
        SCOPED_TRACE(path);
        MfLoudnessDecoder decoder;
        std::size_t samples = 0;
        EXPECT_TRUE(decoder.decode(path, [&](int rate, int channels, std::span<const float> piece) {
            EXPECT_EQ(rate, c.rate);
            EXPECT_EQ(channels, c.channels);
            samples += piece.size();
            return true;
        }));
        EXPECT_EQ(samples, std::size_t(c.rate) * c.ms / 1000 * c.channels) << "delay and padding cut";
        const std::atomic<bool> stop{false};
        const std::optional<MeasuredLoudness> measured = measureFile(decoder, path, stop);
        ASSERT_TRUE(measured);
        // lame gives the tone back 0.4 dB down at these rates.
        EXPECT_NEAR(integratedLoudness({&*measured}).value_or(0), toneLufs(c.rate, c.channels, c.ms), 0.6);
        EXPECT_NEAR(measured->peak, 8000.0 / 32768.0, 0.03);
    }
    MfLoudnessDecoder decoder;
    const std::atomic<bool> stop{false};
    EXPECT_FALSE(measureFile(decoder, tonePath(44100, 1, 1) + ".none", stop));
}

TEST(MfLoudnessDecoder, AFolderTheWasapiControlNamesIsLevelledByItsMeasure)
{
    TempTree tree;
    auto levelling = std::make_shared<Levelling>();
    levelling->setOn(true);
    levelling->measureWith(std::make_shared<MfLoudnessDecoder>(), tree.path("Orvane/loudness.txt"));
    WasapiControl control;
    control.setLevelling(levelling);
    const std::string mono = tonePath(44100, 1, 1000), stereo = tonePath(48000, 2, 1000);
    control.setFolderAhead({mono, stereo});
    ASSERT_TRUE(levelling->measuredAll(std::chrono::minutes(2)));
    // The two together: the stereo tone's two channels count twice the mono's one.
    const double lufs = -0.691 + 10 * std::log10((std::pow(10.0, (toneLufs(44100, 1, 1000) + 0.691) / 10)
                                                  + std::pow(10.0, (toneLufs(48000, 2, 1000) + 0.691) / 10)) / 2);
    for (const std::string& path : {mono, stereo}) {
        const std::string full = *win::toUtf8(*win::fullPath(path));
        EXPECT_NEAR(20 * std::log10(levelling->factorFor(full, std::chrono::minutes(1))), kTargetLufs - lufs, 0.6) << path;
    }
    EXPECT_TRUE(std::filesystem::exists(tree.fsPath("Orvane/loudness.txt"))) << "the measures kept";
}

} // namespace
} // namespace orvane::test
