#pragma once

// The parsers of bytes that come from outside the program, each behind one
// entry that both the fuzzers and the corpus replay in the unit tests call.
// An entry returns nothing when what the parser made of the bytes holds
// together, or which property it broke.

#include <cstddef>
#include <span>

namespace orvane::fuzz {

using Bytes = std::span<const unsigned char>;

// The stored place: as read (almost always cut off by its check), with its
// check made right so that the body itself is parsed, and each place read
// stored and read again unchanged.
const char* placeText(Bytes bytes);
// The stored settings, one value a line (Version, PlayOrder, Sub, Repeat,
// PlayPath), through the first-run rule into the controls.
const char* settingsValues(Bytes bytes);
// The start of a file as the LAME and Xing header reader takes it, and the
// trim that follows for a decoded length the input names.
const char* lameHeader(Bytes bytes);
// The first frame's header: the input's first bytes as the frame header
// (after an ID3v2 tag when asked), with the Xing frame where the header's
// side information may end, so that every header field is reached.
const char* mp3Frame(Bytes bytes);
// A file's ReplayGain tags (ID3v2, APEv2, the LAME header): the input as the
// whole file, and again as a head and a tail cut where its first byte says,
// each in a buffer of its own size so that a read past either is seen.
const char* gainTags(Bytes bytes);

struct Target {
    const char* name; // the corpus folder and the fuzzer's name
    const char* (*run)(Bytes);
};

inline constexpr Target Targets[] = {
    {"place_text", placeText},
    {"settings_values", settingsValues},
    {"lame_header", lameHeader},
    {"mp3_frame", mp3Frame},
    {"gain_tags", gainTags},
};

} // namespace orvane::fuzz
