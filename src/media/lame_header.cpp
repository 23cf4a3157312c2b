#include "media/lame_header.h"

#include <cstdlib>
#include <cstring>

namespace orvane {

namespace {

using Bytes = std::span<const unsigned char>;

std::uint32_t bigEndian32(Bytes b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

} // namespace

std::size_t id3v2Length(Bytes b)
{
    if (b.size() < 10 || std::memcmp(b.data(), "ID3", 3) != 0)
        return 0;
    std::size_t size = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (b[i] & 0x80)
            return 0;
        size = (size << 7) | b[i];
    }
    const bool footer = (b[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

namespace {

struct FrameHeader {
    int sampleRate = 0;
    int samplesPerFrame = 0;
    std::size_t sideInfoEnd = 0; // from the frame's start
};

std::optional<FrameHeader> layer3Header(Bytes b, std::size_t at)
{
    if (b.size() < at + 4 || b[at] != 0xFF || (b[at + 1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (b[at + 1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = (b[at + 1] >> 1) & 3;    // 1: Layer III
    const bool crc = (b[at + 1] & 1) == 0;
    const int rateIndex = (b[at + 2] >> 2) & 3;
    const bool mono = ((b[at + 3] >> 6) & 3) == 3;
    if (version == 1 || layer != 1 || rateIndex == 3)
        return std::nullopt;
    static constexpr int mpeg1Rates[] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    FrameHeader h;
    h.sampleRate = mpeg1Rates[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    h.samplesPerFrame = mpeg1 ? 1152 : 576;
    const std::size_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    h.sideInfoEnd = 4 + (crc ? 2 : 0) + sideInfo;
    return h;
}

// Where the first frame starts and where its LAME tag does (past the Xing or
// Info frame's figures), for a first frame with a frame count.
struct LameTagPlace {
    std::size_t frame = 0;
    std::size_t tag = 0;
    FrameHeader header;
    std::uint32_t frames = 0;
};

std::optional<LameTagPlace> lameTagPlace(Bytes head)
{
    LameTagPlace place;
    place.frame = id3v2Length(head);
    const auto header = layer3Header(head, place.frame);
    if (!header)
        return std::nullopt;
    place.header = *header;
    std::size_t at = place.frame + header->sideInfoEnd;
    if (head.size() < at + 8 || (std::memcmp(&head[at], "Xing", 4) != 0 && std::memcmp(&head[at], "Info", 4) != 0))
        return std::nullopt;
    const std::uint32_t flags = bigEndian32(head, at + 4);
    at += 8;
    if (!(flags & 1) || head.size() < at + 4)
        return std::nullopt;
    place.frames = bigEndian32(head, at);
    at += 4;
    if (flags & 2)
        at += 4; // bytes
    if (flags & 4)
        at += 100; // seek table
    if (flags & 8)
        at += 4; // quality
    place.tag = at;
    return place;
}

// CRC-16 as the LAME tag's own check has it (polynomial 0x8005, reflected,
// from 0).
std::uint16_t crc16(Bytes b)
{
    std::uint16_t crc = 0;
    for (unsigned char c : b) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// One of the tag's two ReplayGain fields: name (3 bits: 1 radio, 2
// audiophile), originator (3 bits, 0 when unset), sign, tenths of a dB.
std::optional<double> lameGainField(std::uint16_t field, int name)
{
    if ((field >> 13) != name || ((field >> 10) & 7) == 0)
        return std::nullopt;
    const double tenths = field & 0x1FF;
    return (field & 0x200) ? -tenths / 10.0 : tenths / 10.0;
}

} // namespace

std::optional<LameInfo> readLameInfo(Bytes head)
{
    const std::optional<LameTagPlace> place = lameTagPlace(head);
    if (!place)
        return std::nullopt;
    LameInfo info;
    info.sampleRate = place->header.sampleRate;
    info.samplesPerFrame = place->header.samplesPerFrame;
    info.frames = place->frames;
    // The LAME tag: 9 bytes of encoder name, then 12 bytes of other figures,
    // then delay and padding in 12 bits each.
    constexpr std::size_t delayAt = 21;
    if (head.size() < place->tag + delayAt + 3)
        return std::nullopt;
    const unsigned char* d = &head[place->tag + delayAt];
    info.delay = (d[0] << 4) | (d[1] >> 4);
    info.padding = ((d[1] & 0x0F) << 8) | d[2];
    if (info.soundLength() <= 0)
        return std::nullopt;
    return info;
}

LameGain readLameGain(Bytes head)
{
    const std::optional<LameTagPlace> place = lameTagPlace(head);
    // The tag's last two bytes check everything from the frame's start.
    constexpr std::size_t crcAt = 34;
    if (!place || head.size() < place->tag + crcAt + 2)
        return {};
    const std::size_t tag = place->tag;
    const std::uint16_t stored = static_cast<std::uint16_t>((head[tag + crcAt] << 8) | head[tag + crcAt + 1]);
    if (crc16(head.subspan(place->frame, tag + crcAt - place->frame)) != stored)
        return {};
    LameGain gain;
    // Peak: 32 bits, full scale as 1 << 23; 0 when not measured.
    const std::uint32_t peak = bigEndian32(head, tag + 11);
    if (peak != 0 && peak <= (16u << 23))
        gain.peak = peak / double(1 << 23);
    const auto field = [&](std::size_t at) { return static_cast<std::uint16_t>((head[at] << 8) | head[at + 1]); };
    gain.radio = lameGainField(field(tag + 15), 1);
    gain.audiophile = lameGainField(field(tag + 17), 2);
    return gain;
}

Trim trimFor(const std::optional<LameInfo>& info, std::int64_t decodedLength, int decodedRate)
{
    if (!info || decodedRate != info->sampleRate || info->delay + info->padding == 0)
        return {};
    const std::int64_t sound = info->soundLength();
    const std::int64_t whole = info->decodedLength();
    if (std::llabs(decodedLength - sound) <= std::llabs(decodedLength - whole))
        return {};
    // Untrimmed: any frame decoded before the counted ones (an Info frame
    // decoded as silence) goes with the delays.
    const std::int64_t extra = decodedLength > whole ? decodedLength - whole : 0;
    return {extra + info->delay + kMp3DecoderDelay, sound};
}

} // namespace orvane
