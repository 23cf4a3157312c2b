#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace orvane {

// What an MP3 file's first frame tells of its length: the Xing or Info frame
// that LAME writes (and encoders that copy it), with LAME's figures for the
// silence the encoder put before the sound (delay) and after it (padding).
struct LameInfo {
    int sampleRate = 0;
    int samplesPerFrame = 0;  // 1152 for MPEG-1, 576 for MPEG-2 and 2.5
    std::int64_t frames = 0;  // audio frames, the Info frame not counted
    int delay = 0;            // the encoder's, in samples
    int padding = 0;

    std::int64_t decodedLength() const { return frames * samplesPerFrame; }
    // The sound itself, as it went into the encoder.
    std::int64_t soundLength() const { return decodedLength() - delay - padding; }
};

// The start of a file (an ID3v2 tag may come first; 64 KiB and the tag's
// length are plenty). Nothing when there is no Xing or Info frame with a frame
// count, or no delay and padding after it.
std::optional<LameInfo> readLameInfo(std::span<const unsigned char> head);

// The LAME tag's ReplayGain figures, taken only where the tag's CRC holds:
// the radio gain (the track's), the audiophile gain (the album's), in dB
// towards the ReplayGain reference, and the track's peak (1.0: full scale).
struct LameGain {
    std::optional<double> radio;
    std::optional<double> audiophile;
    std::optional<double> peak;
};
LameGain readLameGain(std::span<const unsigned char> head);

// The whole length of the ID3v2 tag a file starts with (header, frames and
// footer), 0 when it starts with none.
std::size_t id3v2Length(std::span<const unsigned char> head);

// Which decoded samples are the file's sound.
struct Trim {
    std::int64_t skip = 0;  // samples to drop at the start
    std::int64_t keep = -1; // samples to keep after those; -1: all
};

// Every MP3 decoder puts 529 samples of its own before the sound.
constexpr int kMp3DecoderDelay = 529;

// Some decoders drop the encoder's delay and padding themselves, some do
// not. The decoded length tells which: the untrimmed length is the frames'
// whole length, the trimmed one the sound's. decodedLength is in samples at
// decodedRate; a decoder at another rate than the file's is left alone.
Trim trimFor(const std::optional<LameInfo>& info, std::int64_t decodedLength, int decodedRate);

} // namespace orvane
