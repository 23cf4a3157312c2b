#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace orvane {

// What a file says of its own loudness, as ReplayGain figures: gains in dB
// towards the ReplayGain reference, peaks as a fraction of full scale (1.0:
// the loudest sample a decoder can give without clipping).
struct GainFigures {
    std::optional<double> gain;
    std::optional<double> peak;
    bool operator==(const GainFigures&) const = default;
};

struct GainTags {
    GainFigures track;
    GainFigures album;
    bool operator==(const GainTags&) const = default;
};

// How much of a file's start and end readGainTags needs: an ID3v2 tag is read
// only as far as the head holds it (frames past that are not seen), the LAME
// header only when the head reaches past the tag to it.
inline constexpr std::size_t kGainHeadBytes = 1 << 20;
inline constexpr std::size_t kGainTailBytes = 64 * 1024;

// The ReplayGain figures in a file's bytes: `head` is its start, `tail` its
// end (they may overlap, or be the same bytes for a small file). Read, in
// this order of trust: the ID3v2.3/2.4 tag's TXXX frames named
// REPLAYGAIN_TRACK_GAIN, _TRACK_PEAK, _ALBUM_GAIN and _ALBUM_PEAK (without
// regard to case), the APEv2 tag at the end (before an ID3v1 tag) with the
// same names, and the LAME header's radio (track) and audiophile (album)
// figures where the header's CRC holds. Each figure is taken from the first
// of these that gives it. Anything damaged, cut off or out of any sane range
// gives nothing for that figure; nothing is read outside the two spans.
GainTags readGainTags(std::span<const unsigned char> head, std::span<const unsigned char> tail);

// A ReplayGain value as tags write it: "-6.54 dB", "+3 dB", "2.1"; nothing
// when it is no number or beyond +-64 dB.
std::optional<double> parseGainText(std::span<const char> text);
// A peak as tags write it: "0.988312"; nothing when it is no number, not
// positive or above 16 (24 dB over full scale).
std::optional<double> parsePeakText(std::span<const char> text);

} // namespace orvane
