#include "media/pcm_converter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvane {

namespace {

// Taps each side of the point between two input frames, and the kernel's
// resolution between them.
constexpr int kHalf = 16;
constexpr int kTaps = 2 * kHalf;
constexpr int kPhases = 1024;

double sinc(double x)
{
    return x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

double blackman(double x) // x in [-1, 1]
{
    const double a = std::numbers::pi * (x + 1.0);
    return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2.0 * a);
}

} // namespace

PcmConverter::PcmConverter(int inRate, int inChannels, int outRate, int outChannels)
    : inRate_(inRate)
    , inChannels_(inChannels)
    , outRate_(outRate)
    , outChannels_(outChannels)
{
    if (inRate_ == outRate_)
        return;
    // Below both rates' halves, so that nothing folds back when the rate falls.
    const double cutoff = 0.97 * std::min(1.0, static_cast<double>(outRate_) / inRate_);
    kernel_.resize(static_cast<std::size_t>(kPhases) * kTaps);
    for (int phase = 0; phase < kPhases; ++phase) {
        const double frac = static_cast<double>(phase) / kPhases;
        for (int t = 0; t < kTaps; ++t) {
            const double x = frac - (t - kHalf + 1); // from the point to the tap's frame
            kernel_[static_cast<std::size_t>(phase * kTaps + t)]
                = static_cast<float>(cutoff * sinc(cutoff * x) * blackman(x / kHalf));
        }
    }
    // Silence before the first frame, for the taps that reach back past it.
    held_.assign(static_cast<std::size_t>(kHalf * outChannels_), 0.0f);
    heldStart_ = -kHalf;
}

void PcmConverter::mapChannels(std::span<const float> in, std::vector<float>& to) const
{
    const std::size_t frames = in.size() / static_cast<std::size_t>(inChannels_);
    for (std::size_t f = 0; f < frames; ++f) {
        const float* s = &in[f * static_cast<std::size_t>(inChannels_)];
        for (int c = 0; c < outChannels_; ++c) {
            float v = 0.0f;
            if (outChannels_ == 1 && inChannels_ >= 2)
                v = 0.5f * (s[0] + s[1]);
            else if (inChannels_ == 1 && c < 2)
                v = s[0];
            else if (c < inChannels_)
                v = s[c];
            to.push_back(v);
        }
    }
}

void PcmConverter::push(std::span<const float> in, std::vector<float>& out)
{
    if (inRate_ == outRate_) {
        mapChannels(in, out);
        return;
    }
    mapChannels(in, held_);
    inputFrames_ += static_cast<std::int64_t>(in.size() / static_cast<std::size_t>(inChannels_));
    resample(out, inputFrames_ - 1);
}

void PcmConverter::finish(std::vector<float>& out)
{
    if (inRate_ == outRate_)
        return;
    held_.insert(held_.end(), static_cast<std::size_t>(kHalf * outChannels_), 0.0f);
    // With the silence after it, every output up to the input's end can be
    // made: floor(n * inRate / outRate) < inputFrames for exactly
    // ceil(inputFrames * outRate / inRate) outputs.
    resample(out, inputFrames_ + kHalf - 1);
}

// Makes every output frame whose taps reach no further than the input frame
// lastInput, then forgets the input no later output will need.
void PcmConverter::resample(std::vector<float>& out, std::int64_t lastInput)
{
    const auto channels = static_cast<std::size_t>(outChannels_);
    for (;;) {
        const std::int64_t scaled = nextOutput_ * inRate_;
        const std::int64_t point = scaled / outRate_;
        if (point + kHalf > lastInput)
            break;
        const auto phase = static_cast<std::size_t>((scaled % outRate_) * kPhases / outRate_);
        const float* k = &kernel_[phase * kTaps];
        const float* s = &held_[static_cast<std::size_t>(point - kHalf + 1 - heldStart_) * channels];
        for (std::size_t c = 0; c < channels; ++c) {
            float sum = 0.0f;
            for (int t = 0; t < kTaps; ++t)
                sum += k[t] * s[static_cast<std::size_t>(t) * channels + c];
            out.push_back(sum);
        }
        ++nextOutput_;
    }
    const std::int64_t needed = nextOutput_ * inRate_ / outRate_ - kHalf + 1;
    if (needed > heldStart_ + 4096) {
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>((needed - heldStart_) * outChannels_));
        heldStart_ = needed;
    }
}

} // namespace orvane
