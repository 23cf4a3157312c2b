#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// The integrated loudness of ITU-R BS.1770-4 (as EBU R128 uses it), measured
// from interleaved float samples (1.0: full scale): K-weighted, in blocks of
// 400 ms that start every 100 ms, gated at -70 LUFS and then 10 LU under the
// mean of the blocks above that. Each channel counts with weight 1 (mono and
// stereo; the surround channels' 1.41 does not arise in MP3).
class LoudnessMeter {
public:
    LoudnessMeter(int rate, int channels);

    void add(std::span<const float> interleaved);

    // Each whole block's mean square, K-weighted and summed over the
    // channels; a few files' blocks together measure them as one (an album).
    const std::vector<double>& blocks() const { return blocks_; }

private:
    struct Biquad {
        double b0, b1, b2, a1, a2;
    };
    struct State {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        double run(const Biquad& f, double x);
    };

    int channels_;
    Biquad shelf_;
    Biquad highPass_;
    std::vector<State> shelfState_;
    std::vector<State> highPassState_;
    std::int64_t hop_;            // frames in 100 ms
    std::vector<double> quarters_; // the last four 100 ms sums of squares
    double current_ = 0;
    std::vector<double> blocks_;
    std::int64_t inQuarter_ = 0;
};

// A block's loudness in LUFS from its K-weighted mean square, and back.
double loudnessOf(double meanSquare);
double meanSquareOf(double lufs);

// The integrated loudness in LUFS of the blocks given; nothing where no block
// is above the gates (silence, or less than 400 ms of sound).
std::optional<double> integratedLoudness(std::span<const double> blocks);

} // namespace orvane
