#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// Turns interleaved float samples of one rate and channel count into another,
// a piece at a time, for an output that plays one format only. Rates are
// changed by band-limited (windowed sinc) interpolation, so that a file plays
// at its own speed and pitch whatever the output's rate; a mono file sounds on
// both sides of a stereo output, a stereo file in a mono output as the mean of
// the two.
class PcmConverter {
public:
    PcmConverter(int inRate, int inChannels, int outRate, int outChannels);

    // Appends to out what the samples in become; some of their last frames
    // are held until later ones come, or until finish.
    void push(std::span<const float> in, std::vector<float>& out);
    // The end of the input: appends what was held. The output then is
    // exactly as long as the input, at the output's rate (rounded up).
    void finish(std::vector<float>& out);

    int outChannels() const { return outChannels_; }

private:
    void mapChannels(std::span<const float> in, std::vector<float>& to) const;
    void resample(std::vector<float>& out, std::int64_t lastInput);

    int inRate_;
    int inChannels_;
    int outRate_;
    int outChannels_;
    std::vector<float> kernel_;  // phases x taps
    std::vector<float> held_;    // input frames from heldStart_, in the output's channels
    std::int64_t heldStart_ = 0; // input frame number of held_'s first
    std::int64_t inputFrames_ = 0;
    std::int64_t nextOutput_ = 0;
};

} // namespace orvane
