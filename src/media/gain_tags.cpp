#include "media/gain_tags.h"

#include "media/lame_header.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

namespace {

using Bytes = std::span<const unsigned char>;

std::uint32_t bigEndian32(Bytes b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

std::uint32_t littleEndian32(Bytes b, std::size_t at)
{
    return (std::uint32_t{b[at + 3]} << 24) | (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 1]} << 8) | b[at];
}

// 28 bits in four bytes of seven; nothing when a top bit is set.
std::optional<std::uint32_t> syncSafe32(Bytes b, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        if (b[i] & 0x80)
            return std::nullopt;
        v = (v << 7) | b[i];
    }
    return v;
}

// The bytes with the ID3v2 unsynchronisation undone: FF 00 becomes FF.
std::vector<unsigned char> resynchronised(Bytes b)
{
    std::vector<unsigned char> out;
    out.reserve(b.size());
    for (std::size_t i = 0; i < b.size(); ++i) {
        out.push_back(b[i]);
        if (b[i] == 0xFF && i + 1 < b.size() && b[i + 1] == 0x00)
            ++i;
    }
    return out;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Takes one named figure into tags, where that figure is not set yet.
void take(GainTags& tags, std::string_view name, std::string_view value)
{
    struct Slot {
        const char* name;
        std::optional<double> GainFigures::*figure;
        GainFigures GainTags::*of;
        bool isGain;
    };
    static constexpr Slot slots[] = {
        {"REPLAYGAIN_TRACK_GAIN", &GainFigures::gain, &GainTags::track, true},
        {"REPLAYGAIN_TRACK_PEAK", &GainFigures::peak, &GainTags::track, false},
        {"REPLAYGAIN_ALBUM_GAIN", &GainFigures::gain, &GainTags::album, true},
        {"REPLAYGAIN_ALBUM_PEAK", &GainFigures::peak, &GainTags::album, false},
    };
    for (const Slot& slot : slots) {
        if (!sameName(name, slot.name))
            continue;
        std::optional<double>& figure = (tags.*slot.of).*slot.figure;
        if (!figure)
            figure = slot.isGain ? parseGainText(value) : parsePeakText(value);
        return;
    }
}

// ID3v2 text in one of its four encodings, as far as it is plain ASCII (all
// that the names and numbers wanted here hold); a character past ASCII
// becomes 0x7F, so that it matches nothing. Ends at the first terminator;
// `rest` is what follows it.
std::string id3Text(Bytes b, unsigned char encoding, Bytes* rest)
{
    std::string text;
    const bool wide = encoding == 1 || encoding == 2;
    bool bigEndian = encoding == 2;
    std::size_t i = 0;
    if (encoding == 1 && b.size() >= 2) {
        if (b[0] == 0xFE && b[1] == 0xFF) {
            bigEndian = true;
            i = 2;
        } else if (b[0] == 0xFF && b[1] == 0xFE) {
            i = 2;
        }
    }
    const std::size_t step = wide ? 2 : 1;
    for (; i + step <= b.size(); i += step) {
        const unsigned unit = wide ? (bigEndian ? (b[i] << 8) | b[i + 1] : (b[i + 1] << 8) | b[i]) : b[i];
        if (unit == 0) {
            i += step;
            break;
        }
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x7F');
    }
    if (rest)
        *rest = b.subspan(std::min(i, b.size()));
    return text;
}

void readTxxx(GainTags& tags, Bytes body)
{
    if (body.empty() || body[0] > 3)
        return;
    Bytes rest;
    const std::string name = id3Text(body.subspan(1), body[0], &rest);
    take(tags, name, id3Text(rest, body[0], nullptr));
}

// The TXXX frames of an ID3v2.3 or 2.4 tag at the head's start.
void readId3v2(GainTags& tags, Bytes head)
{
    if (head.size() < 10 || std::memcmp(head.data(), "ID3", 3) != 0)
        return;
    const int version = head[3];
    const unsigned char flags = head[5];
    const std::optional<std::uint32_t> size = syncSafe32(head, 6);
    if ((version != 3 && version != 4) || !size)
        return;
    // A tag that goes on past the head is read as far as the head holds it.
    Bytes body = head.subspan(10, std::min<std::size_t>(*size, head.size() - 10));
    std::vector<unsigned char> whole;
    if (version == 3 && (flags & 0x80)) {
        whole = resynchronised(body);
        body = whole;
    }
    std::size_t at = 0;
    if (flags & 0x40) { // an extended header, skipped
        if (body.size() < 4)
            return;
        std::optional<std::uint32_t> extended =
            version == 4 ? syncSafe32(body, 0) : std::optional<std::uint32_t>(bigEndian32(body, 0) + 4);
        if (!extended || *extended > body.size())
            return;
        at = *extended;
    }
    while (at + 10 <= body.size() && body[at] != 0) {
        const Bytes id = body.subspan(at, 4);
        const std::optional<std::uint32_t> frameSize = version == 4 ? syncSafe32(body, at + 4) : bigEndian32(body, at + 4);
        if (!frameSize || *frameSize > body.size() - at - 10)
            return;
        const unsigned char status = body[at + 9];
        Bytes frame = body.subspan(at + 10, *frameSize);
        at += 10 + *frameSize;
        if (std::memcmp(id.data(), "TXXX", 4) != 0)
            continue;
        // Compressed or encrypted frames are not read; a group byte and a
        // data length go before the frame's own bytes.
        std::vector<unsigned char> plain;
        if (version == 3) {
            if (status & 0xC0)
                continue;
            if (status & 0x20)
                frame = frame.subspan(std::min<std::size_t>(1, frame.size()));
        } else {
            if (status & 0x0C)
                continue;
            const std::size_t skip = ((status & 0x40) ? 1 : 0) + ((status & 0x01) ? 4 : 0);
            if (skip > frame.size())
                continue;
            frame = frame.subspan(skip);
            if ((status & 0x02) || (flags & 0x80)) {
                plain = resynchronised(frame);
                frame = plain;
            }
        }
        readTxxx(tags, frame);
    }
}

// The APEv2 tag that ends the tail, or ends it but for an ID3v1 tag.
void readApe(GainTags& tags, Bytes tail)
{
    constexpr std::size_t footer = 32;
    std::size_t end = tail.size();
    if (end >= 128 && std::memcmp(&tail[end - 128], "TAG", 3) == 0)
        end -= 128;
    if (end < footer || std::memcmp(&tail[end - footer], "APETAGEX", 8) != 0)
        return;
    const std::size_t foot = end - footer;
    const std::uint32_t size = littleEndian32(tail, foot + 12); // items and footer
    const std::uint32_t count = littleEndian32(tail, foot + 16);
    if (size < footer || size > end)
        return;
    std::size_t at = end - size;
    for (std::uint32_t item = 0; item < count && at + 8 < foot; ++item) {
        const std::uint32_t length = littleEndian32(tail, at);
        const std::uint32_t itemFlags = littleEndian32(tail, at + 4);
        at += 8;
        const unsigned char* keyStart = &tail[at];
        const void* zero = std::memchr(keyStart, 0, foot - at);
        if (!zero)
            return;
        const std::size_t keyLength = static_cast<const unsigned char*>(zero) - keyStart;
        at += keyLength + 1;
        if (length > foot - at)
            return;
        // Only text items (kind 0 in bits 1 and 2) hold figures.
        if (((itemFlags >> 1) & 3) == 0)
            take(tags, {reinterpret_cast<const char*>(keyStart), keyLength},
                 {reinterpret_cast<const char*>(&tail[at]), length});
        at += length;
    }
}

std::optional<double> number(std::span<const char> text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    if (at < text.size() && text[at] == '+')
        ++at;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    if (error != std::errc{} || end == text.data() + at || !std::isfinite(value))
        return std::nullopt;
    // After the number only spaces and a unit may come.
    std::string_view after(end, static_cast<std::size_t>(text.data() + text.size() - end));
    while (!after.empty() && (after.front() == ' ' || after.front() == '\t'))
        after.remove_prefix(1);
    while (!after.empty() && (after.back() == ' ' || after.back() == '\t' || after.back() == '\0'))
        after.remove_suffix(1);
    if (!after.empty() && !sameName(after, "dB") && !sameName(after, "LU"))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> parseGainText(std::span<const char> text)
{
    const std::optional<double> value = number(text);
    if (!value || std::fabs(*value) > 64.0)
        return std::nullopt;
    return value;
}

std::optional<double> parsePeakText(std::span<const char> text)
{
    const std::optional<double> value = number(text);
    if (!value || !(*value > 0.0) || *value > 16.0)
        return std::nullopt;
    return value;
}

GainTags readGainTags(Bytes head, Bytes tail)
{
    GainTags tags;
    readId3v2(tags, head);
    readApe(tags, tail);
    const LameGain lame = readLameGain(head);
    if (!tags.track.gain)
        tags.track.gain = lame.radio;
    if (!tags.track.peak)
        tags.track.peak = lame.peak;
    if (!tags.album.gain)
        tags.album.gain = lame.audiophile;
    return tags;
}

} // namespace orvane
