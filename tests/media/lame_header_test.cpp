// The length an MP3 file's LAME header gives, and which decoded samples are
// the file's sound, for decoders that trim the encoder's silence and for
// decoders that do not.
#include "media/lame_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<unsigned char>;

struct Frame {
    unsigned char b1 = 0xFB; // MPEG-1 Layer III, no CRC
    unsigned char b2 = 0x90; // 128 kbit/s, 44.1 kHz
    unsigned char b3 = 0x44; // joint stereo
    std::size_t sideInfo = 32;
    std::string tag = "Info";
    std::uint32_t flags = 0x0F; // frames, bytes, seek table, quality
    std::uint32_t frames = 39;
    int delay = 576;
    int padding = 1252;
};

void put32(Bytes& b, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<unsigned char>(v >> shift));
}

// The first frame as LAME writes it.
Bytes infoFrame(const Frame& f)
{
    Bytes b = {0xFF, f.b1, f.b2, f.b3};
    if ((f.b1 & 1) == 0)
        b.resize(b.size() + 2, 0x5A); // the CRC
    b.resize(b.size() + f.sideInfo, 0);
    for (const char c : f.tag)
        b.push_back(static_cast<unsigned char>(c));
    put32(b, f.flags);
    if (f.flags & 1)
        put32(b, f.frames);
    if (f.flags & 2)
        put32(b, 4242);
    if (f.flags & 4)
        b.resize(b.size() + 100, 7);
    if (f.flags & 8)
        put32(b, 57);
    for (const char c : std::string("LAME3.100"))
        b.push_back(static_cast<unsigned char>(c));
    b.resize(b.size() + 12, 0xAA); // VBR method, lowpass, peak, gains, flags, bitrate
    b.push_back(static_cast<unsigned char>(f.delay >> 4));
    b.push_back(static_cast<unsigned char>(((f.delay & 0x0F) << 4) | (f.padding >> 8)));
    b.push_back(static_cast<unsigned char>(f.padding & 0xFF));
    b.resize(b.size() + 200, 0);
    return b;
}

TEST(LameHeader, ReadsLengthDelayAndPaddingOfEveryLayerThreeKind)
{
    struct Case {
        const char* what;
        Frame frame;
        int rate;
        int samplesPerFrame;
    };
    Frame mono;
    mono.b3 = 0xC4;
    mono.sideInfo = 17;
    Frame mpeg2;
    mpeg2.b1 = 0xF3;
    mpeg2.b2 = 0x84; // 48 kHz in MPEG-1 terms, 24 kHz here
    mpeg2.b3 = 0xC4;
    mpeg2.sideInfo = 9;
    Frame mpeg25Stereo;
    mpeg25Stereo.b1 = 0xE3;
    mpeg25Stereo.b2 = 0x88; // 32 kHz in MPEG-1 terms, 8 kHz here
    mpeg25Stereo.sideInfo = 17;
    Frame crc;
    crc.b1 = 0xFA;
    Frame xing;
    xing.tag = "Xing";
    xing.flags = 0x01; // a frame count and nothing else
    xing.frames = 1000;
    xing.delay = 1105;
    xing.padding = 4000;
    const std::vector<Case> cases = {
        {"MPEG-1 stereo", {}, 44100, 1152},
        {"MPEG-1 mono", mono, 44100, 1152},
        {"MPEG-2 mono", mpeg2, 24000, 576},
        {"MPEG-2.5 stereo", mpeg25Stereo, 8000, 576},
        {"with a CRC", crc, 44100, 1152},
        {"Xing with a frame count only", xing, 44100, 1152},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto info = readLameInfo(infoFrame(c.frame));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->sampleRate, c.rate);
        EXPECT_EQ(info->samplesPerFrame, c.samplesPerFrame);
        EXPECT_EQ(info->frames, c.frame.frames);
        EXPECT_EQ(info->delay, c.frame.delay);
        EXPECT_EQ(info->padding, c.frame.padding);
        EXPECT_EQ(info->soundLength(), std::int64_t{c.frame.frames} * c.samplesPerFrame - c.frame.delay - c.frame.padding);
    }
}

TEST(LameHeader, LooksPastAnId3Tag)
{
    Bytes file = {'I', 'D', '3', 4, 0, 0, 0, 0, 0x01, 0x05}; // 133 bytes of tag
    file.resize(file.size() + 133, 'T');
    const Bytes frame = infoFrame({});
    file.insert(file.end(), frame.begin(), frame.end());
    const auto info = readLameInfo(file);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->soundLength(), 39 * 1152 - 576 - 1252);

    file[9] = 0x06; // the tag's length one byte off: no frame there
    EXPECT_FALSE(readLameInfo(file));
}

TEST(LameHeader, GivesNothingWithoutAFrameCountOrTheWholeTag)
{
    Frame noCount;
    noCount.flags = 0x0E;
    Frame otherTag;
    otherTag.tag = "VBRI";
    Frame layer2;
    layer2.b1 = 0xFD;
    Frame noSound; // the delays take every sample there is
    noSound.frames = 2;
    noSound.delay = 2 * 1152 - noSound.padding;
    for (const Frame& f : {noCount, otherTag, layer2, noSound})
        EXPECT_FALSE(readLameInfo(infoFrame(f))) << f.tag << " " << f.flags;

    const Bytes whole = infoFrame({});
    const std::size_t delayEnd = 4 + 32 + 8 + 4 + 4 + 100 + 4 + 21 + 3;
    EXPECT_TRUE(readLameInfo(std::span(whole).first(delayEnd)));
    EXPECT_FALSE(readLameInfo(std::span(whole).first(delayEnd - 1)));
    EXPECT_FALSE(readLameInfo(Bytes{}));
    EXPECT_FALSE(readLameInfo(Bytes{0xFF, 0xFB})) << "a frame's start, cut off";
    Bytes unsynced = whole;
    unsynced[0] = 0xFE;
    EXPECT_FALSE(readLameInfo(unsynced)) << "no frame sync";
    EXPECT_FALSE(readLameInfo(Bytes(300, 0)));
}

TEST(LameTrim, DecidedByTheDecodedLength)
{
    LameInfo info;
    info.sampleRate = 44100;
    info.samplesPerFrame = 1152;
    info.frames = 39;
    info.delay = 576;
    info.padding = 1252; // sound: 43100 samples of 44928
    const std::int64_t sound = info.soundLength();
    const std::int64_t whole = info.decodedLength();

    SCOPED_TRACE("already trimmed: everything is sound");
    const std::int64_t halfway = sound + (whole - sound) / 2; // left as it is
    for (const std::int64_t length : {sound, sound - 1, sound + 1, sound + 800, halfway})
        EXPECT_EQ(trimFor(info, length, 44100).keep, -1) << length;
    EXPECT_EQ(trimFor(info, sound, 44100).skip, 0);

    SCOPED_TRACE("untrimmed: the encoder's and the decoder's delay go, and the padding");
    Trim t = trimFor(info, whole, 44100);
    EXPECT_EQ(t.skip, 576 + kMp3DecoderDelay);
    EXPECT_EQ(t.keep, sound);
    EXPECT_EQ(trimFor(info, whole - 100, 44100).keep, sound);

    SCOPED_TRACE("untrimmed, with the Info frame decoded as silence before the rest");
    t = trimFor(info, whole + 1152, 44100);
    EXPECT_EQ(t.skip, 1152 + 576 + kMp3DecoderDelay);
    EXPECT_EQ(t.keep, sound);

    SCOPED_TRACE("no figures, no delays, or decoded at another rate: left whole");
    EXPECT_EQ(trimFor(std::nullopt, whole, 44100).keep, -1);
    EXPECT_EQ(trimFor(info, whole, 48000).keep, -1);
    LameInfo noDelays = info;
    noDelays.delay = noDelays.padding = 0;
    EXPECT_EQ(trimFor(noDelays, whole, 44100).keep, -1);
}

} // namespace
} // namespace orvane
