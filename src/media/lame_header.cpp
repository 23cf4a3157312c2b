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

// The ID3v2 tag's whole length, 0 when the file starts with none.
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

} // namespace

std::optional<LameInfo> readLameInfo(Bytes head)
{
    const std::size_t frame = id3v2Length(head);
    const auto header = layer3Header(head, frame);
    if (!header)
        return std::nullopt;
    std::size_t at = frame + header->sideInfoEnd;
    if (head.size() < at + 8 || (std::memcmp(&head[at], "Xing", 4) != 0 && std::memcmp(&head[at], "Info", 4) != 0))
        return std::nullopt;
    const std::uint32_t flags = bigEndian32(head, at + 4);
    at += 8;
    if (!(flags & 1) || head.size() < at + 4)
        return std::nullopt;
    LameInfo info;
    info.sampleRate = header->sampleRate;
    info.samplesPerFrame = header->samplesPerFrame;
    info.frames = bigEndian32(head, at);
    at += 4;
    if (flags & 2)
        at += 4; // bytes
    if (flags & 4)
        at += 100; // seek table
    if (flags & 8)
        at += 4; // quality
    // The LAME tag: 9 bytes of encoder name, then 12 bytes of other figures,
    // then delay and padding in 12 bits each.
    constexpr std::size_t delayAt = 21;
    if (head.size() < at + delayAt + 3)
        return std::nullopt;
    const unsigned char* d = &head[at + delayAt];
    info.delay = (d[0] << 4) | (d[1] >> 4);
    info.padding = ((d[1] & 0x0F) << 8) | d[2];
    if (info.soundLength() <= 0)
        return std::nullopt;
    return info;
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
