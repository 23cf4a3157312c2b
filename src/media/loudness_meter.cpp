#include "media/loudness_meter.h"

#include <cmath>
#include <numbers>

namespace orvane {

namespace {

constexpr double kOffset = -0.691; // makes a 997 Hz sine at 0 dBFS read -3.01 LUFS a channel

} // namespace

double loudnessOf(double meanSquare)
{
    return kOffset + 10.0 * std::log10(meanSquare);
}

double meanSquareOf(double lufs)
{
    return std::pow(10.0, (lufs - kOffset) / 10.0);
}

double LoudnessMeter::State::run(const Biquad& f, double x)
{
    const double y = f.b0 * x + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
}

// The standard's two filters, their poles and zeros given for 48 kHz and
// here found again for any rate by the bilinear transform from the analogue
// prototypes they come from (as libebur128 does).
LoudnessMeter::LoudnessMeter(int rate, int channels)
    : channels_(channels > 0 ? channels : 1)
    , shelfState_(static_cast<std::size_t>(channels_))
    , highPassState_(static_cast<std::size_t>(channels_))
    , hop_(rate > 0 ? (rate + 5) / 10 : 4410)
{
    const double fs = rate > 0 ? rate : 44100;
    {
        const double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(std::numbers::pi * f0 / fs);
        const double vh = std::pow(10.0, gain / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        shelf_ = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                  2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(std::numbers::pi * f0 / fs);
        const double a0 = 1.0 + k / q + k * k;
        highPass_ = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
}

void LoudnessMeter::add(std::span<const float> interleaved)
{
    const std::size_t channels = static_cast<std::size_t>(channels_);
    for (std::size_t frame = 0; frame + channels <= interleaved.size(); frame += channels) {
        for (std::size_t c = 0; c < channels; ++c) {
            const double y = highPassState_[c].run(highPass_, shelfState_[c].run(shelf_, interleaved[frame + c]));
            current_ += y * y;
        }
        if (++inQuarter_ < hop_)
            continue;
        quarters_.push_back(current_);
        current_ = 0;
        inQuarter_ = 0;
        if (quarters_.size() > 4)
            quarters_.erase(quarters_.begin());
        if (quarters_.size() == 4)
            blocks_.push_back((quarters_[0] + quarters_[1] + quarters_[2] + quarters_[3]) / double(4 * hop_));
    }
}

std::optional<double> integratedLoudness(std::span<const double> blocks)
{
    const auto meanAbove = [&](double gate, double& mean) {
        double sum = 0;
        std::size_t count = 0;
        for (double b : blocks) {
            if (b > 0 && loudnessOf(b) > gate) {
                sum += b;
                ++count;
            }
        }
        if (count == 0)
            return false;
        mean = sum / double(count);
        return true;
    };
    double mean = 0;
    if (!meanAbove(-70.0, mean))
        return std::nullopt;
    if (!meanAbove(loudnessOf(mean) - 10.0, mean))
        return std::nullopt;
    return loudnessOf(mean);
}

} // namespace orvane
