// The ReplayGain figures read from files that real tools tagged (lame,
// mp3gain, eyeD3, id3v2: tests/media/make_gain_fixtures.sh), against what
// those tools said they wrote; and tags damaged or built to mislead.
#include "media/gain_tags.h"
#include "media/levelling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

GainTags tagsOf(const Bytes& file)
{
    return readGainTags(file, file);
}

std::optional<double> figure(const std::string& text)
{
    if (text == "-")
        return std::nullopt;
    return std::stod(text);
}

void expectNear(const std::optional<double>& got, const std::optional<double>& want, double within,
                const std::string& what)
{
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(*got, *want, within) << what;
    }
}

TEST(GainTags, ReadsWhatTheToolsWrote)
{
    const std::string folder = ORVANE_GAIN_FIXTURES;
    std::ifstream expected(folder + "/expected.txt");
    std::string line;
    int files = 0;
    while (std::getline(expected, line)) {
        std::istringstream row(line);
        std::string name, trackGain, trackPeak, albumGain, albumPeak;
        row >> name >> trackGain >> trackPeak >> albumGain >> albumPeak;
        const Bytes file = fileBytes(folder + "/" + name);
        ASSERT_FALSE(file.empty()) << name;
        const GainTags tags = tagsOf(file);
        // LAME keeps a tenth of a dB; its peak is from its own decode, the
        // expected one from mp3gain's.
        expectNear(tags.track.gain, figure(trackGain), 0.051, name + " track gain");
        expectNear(tags.track.peak, figure(trackPeak), 0.01, name + " track peak");
        expectNear(tags.album.gain, figure(albumGain), 0.001, name + " album gain");
        expectNear(tags.album.peak, figure(albumPeak), 0.001, name + " album peak");
        // The same file cut anywhere reads without going past its end.
        for (std::size_t cut = 0; cut < file.size(); cut += 97) {
            const Bytes part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
            (void)tagsOf(part);
        }
        ++files;
    }
    EXPECT_EQ(files, 5);
}

void put(Bytes& b, const std::string& s)
{
    b.insert(b.end(), s.begin(), s.end());
}

void putLe32(Bytes& b, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        b.push_back(static_cast<unsigned char>(v >> shift));
}

void putBe32(Bytes& b, std::uint32_t v, bool syncSafe)
{
    const int bits = syncSafe ? 7 : 8;
    for (int shift = 3 * bits; shift >= 0; shift -= bits)
        b.push_back(static_cast<unsigned char>((v >> shift) & ((1u << bits) - 1)));
}

// An ID3v2 tag of TXXX frames (raw frame bodies), sizes as given.
Bytes id3(int version, const std::vector<Bytes>& bodies, unsigned char tagFlags = 0, unsigned char frameFlags = 0,
          std::uint32_t sizeExtra = 0)
{
    Bytes frames;
    for (const Bytes& body : bodies) {
        put(frames, "TXXX");
        putBe32(frames, static_cast<std::uint32_t>(body.size()) + sizeExtra, version == 4);
        frames.push_back(0);
        frames.push_back(frameFlags);
        frames.insert(frames.end(), body.begin(), body.end());
    }
    Bytes tag = {'I', 'D', '3', static_cast<unsigned char>(version), 0, tagFlags};
    putBe32(tag, static_cast<std::uint32_t>(frames.size()), true);
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

Bytes txxx(unsigned char encoding, const std::string& name, const std::string& value)
{
    Bytes b = {encoding};
    auto text = [&](const std::string& s) {
        if (encoding == 1) {
            b.push_back(0xFF);
            b.push_back(0xFE);
        }
        for (char c : s) {
            b.push_back(static_cast<unsigned char>(c));
            if (encoding == 1 || encoding == 2)
                b.insert(encoding == 2 ? b.end() - 1 : b.end(), 0);
        }
        b.insert(b.end(), (encoding == 1 || encoding == 2) ? 2 : 1, 0);
    };
    text(name);
    text(value);
    return b;
}

Bytes ape(const std::vector<std::pair<std::string, std::string>>& items, std::uint32_t sizeExtra = 0,
          std::uint32_t countExtra = 0)
{
    Bytes body;
    for (const auto& [key, value] : items) {
        putLe32(body, static_cast<std::uint32_t>(value.size()));
        putLe32(body, 0);
        put(body, key);
        body.push_back(0);
        put(body, value);
    }
    Bytes tag = body;
    put(tag, "APETAGEX");
    putLe32(tag, 2000);
    putLe32(tag, static_cast<std::uint32_t>(body.size()) + 32 + sizeExtra);
    putLe32(tag, static_cast<std::uint32_t>(items.size()) + countExtra);
    putLe32(tag, 0);
    tag.resize(tag.size() + 8, 0);
    return tag;
}

TEST(GainTags, ReadsEveryFrameAndItemKindAndRefusesTheDamaged)
{
    const Bytes gain = txxx(3, "REPLAYGAIN_TRACK_GAIN", "-6.54 dB");
    // A whole v2.3 tag unsynchronised: a frame ahead holds FF 00, which its
    // size counts as FF alone, so the gain's frame is found only once the
    // tag is resynchronised.
    Bytes unsynced = id3(3, {{0, 'X', 0, 0xFF, 0x00, 'y', 0}, txxx(0, "replaygain_track_gain", "-6.54 dB")}, 0x80);
    unsynced[10 + 7] = 6;
    Bytes withId3v1 = ape({{"REPLAYGAIN_TRACK_GAIN", "-6.54 dB"}});
    withId3v1.push_back('T');
    withId3v1.push_back('A');
    withId3v1.push_back('G');
    withId3v1.resize(withId3v1.size() + 125, 0);
    struct Row {
        const char* what;
        Bytes file;
        std::optional<double> trackGain;
    };
    const Row rows[] = {
        {"v2.4, UTF-8", id3(4, {gain}), -6.54},
        {"v2.3, Latin-1", id3(3, {txxx(0, "REPLAYGAIN_TRACK_GAIN", "-6.54 dB")}), -6.54},
        {"v2.3, UTF-16 with its mark", id3(3, {txxx(1, "Replaygain_Track_Gain", "-6.54 dB")}), -6.54},
        {"v2.4, UTF-16 big-endian", id3(4, {txxx(2, "REPLAYGAIN_TRACK_GAIN", "-6.54 dB")}), -6.54},
        {"v2.3, the tag unsynchronised", unsynced, -6.54},
        {"v2.2's frames are not read", id3(2, {gain}), std::nullopt},
        {"a frame longer than its tag", id3(4, {gain}, 0, 0, 1), std::nullopt},
        {"a compressed frame", id3(4, {gain}, 0, 0x08), std::nullopt},
        {"a number and more", id3(4, {txxx(3, "REPLAYGAIN_TRACK_GAIN", "-6.54 dBx")}), std::nullopt},
        {"beyond any sane gain", id3(4, {txxx(3, "REPLAYGAIN_TRACK_GAIN", "1e300")}), std::nullopt},
        {"no number", id3(4, {txxx(3, "REPLAYGAIN_TRACK_GAIN", "nan")}), std::nullopt},
        {"APEv2 alone", ape({{"REPLAYGAIN_TRACK_GAIN", "-6.54 dB"}}), -6.54},
        {"APEv2 before ID3v1", withId3v1, -6.54},
        {"APEv2 longer than the file", ape({{"REPLAYGAIN_TRACK_GAIN", "-6.54 dB"}}, 1), std::nullopt},
        {"APEv2 counting more items than it holds", ape({{"REPLAYGAIN_TRACK_GAIN", "-6.54 dB"}}, 0, 1000), -6.54},
    };
    for (const Row& row : rows)
        expectNear(tagsOf(row.file).track.gain, row.trackGain, 1e-9, row.what);

    // The first to give a figure wins: ID3v2 before APEv2.
    Bytes both = id3(4, {gain});
    const Bytes tail = ape({{"REPLAYGAIN_TRACK_GAIN", "+3 dB"}, {"REPLAYGAIN_ALBUM_GAIN", "+3 dB"}});
    both.insert(both.end(), tail.begin(), tail.end());
    EXPECT_EQ(tagsOf(both).track.gain, -6.54);
    EXPECT_EQ(tagsOf(both).album.gain, 3.0);
}

TEST(GainTags, TextFiguresAsToolsWriteThem)
{
    auto gain = [](const char* s) { return parseGainText({s, std::strlen(s)}); };
    auto peak = [](const char* s) { return parsePeakText({s, std::strlen(s)}); };
    EXPECT_EQ(gain("-6.54 dB"), -6.54);
    EXPECT_EQ(gain("+3.00 dB"), 3.0);
    EXPECT_EQ(gain(" 2.5"), 2.5);
    EXPECT_EQ(gain("-7 LU"), -7.0);
    EXPECT_EQ(gain("65 dB"), std::nullopt);
    EXPECT_EQ(gain("dB"), std::nullopt);
    EXPECT_EQ(gain(""), std::nullopt);
    EXPECT_EQ(peak("0.988312"), 0.988312);
    EXPECT_EQ(peak("0"), std::nullopt);
    EXPECT_EQ(peak("-1"), std::nullopt);
    EXPECT_EQ(peak("inf"), std::nullopt);
}

double dB(double factor)
{
    return 20.0 * std::log10(factor);
}

TEST(Levelling, AlbumBeforeTrackPreampAddedPeakNeverClipped)
{
    auto tags = [](std::optional<double> trackGain, std::optional<double> trackPeak, std::optional<double> albumGain,
                   std::optional<double> albumPeak) {
        return GainTags{{trackGain, trackPeak}, {albumGain, albumPeak}};
    };
    struct Row {
        const char* what;
        GainTags tags;
        double preamp;
        double wantDb;
    };
    const Row rows[] = {
        {"the album's gain", tags(-2, std::nullopt, -6, std::nullopt), 0, -6},
        {"the track's without an album's", tags(-2, std::nullopt, std::nullopt, std::nullopt), 0, -2},
        {"the preamp on top", tags(-2, std::nullopt, -6, std::nullopt), 3, -3},
        {"nothing known", tags(std::nullopt, std::nullopt, std::nullopt, std::nullopt), 0, kUnknownGainDb},
        {"a gain up held by the album's peak", tags(std::nullopt, 0.9, 9, 0.5), 0, dB(1 / 0.5)},
        {"a gain up held by the track's peak", tags(9, 0.5, std::nullopt, std::nullopt), 0, dB(1 / 0.5)},
        {"a peak the gain keeps under full scale", tags(-6, 1.5, std::nullopt, std::nullopt), 0, -6},
    };
    for (const Row& row : rows)
        EXPECT_NEAR(dB(levelFactor(row.tags, row.preamp)), row.wantDb, 1e-9) << row.what;
}

TEST(Levelling, EachFileFromItsOwnTagsOnlyWhileOn)
{
    int reads = 0;
    Levelling levelling([&reads](const std::string& path) -> std::optional<GainTags> {
        ++reads;
        if (path == "unreadable")
            return std::nullopt;
        return GainTags{{-4.0, std::nullopt}, {}};
    });
    EXPECT_EQ(levelling.factorFor("a"), 1.0);
    levelling.setOn(true);
    const auto forever = std::chrono::hours(1);
    EXPECT_NEAR(dB(levelling.factorFor("a", forever)), -4.0, 1e-9);
    EXPECT_NEAR(dB(levelling.factorFor("unreadable", forever)), kUnknownGainDb, 1e-9);
    EXPECT_NEAR(dB(levelling.factorFor("a", forever)), -4.0, 1e-9);
    EXPECT_EQ(reads, 2);
    levelling.setOn(false);
    EXPECT_EQ(levelling.factorFor("a"), 1.0);
}

TEST(Levelling, ASourceLevelledFromItsFirstSampleAndSoughtAsItself)
{
    struct Ones : ReadAhead::Source {
        int reads = 0;
        std::int64_t soughtTo = -1;
        bool read(std::vector<float>& out) override
        {
            out.insert(out.end(), 4, 1.0f);
            return ++reads < 2;
        }
        std::int64_t seek(std::int64_t frame) override { return soughtTo = frame; }
    };
    auto ones = std::make_unique<Ones>();
    Ones* inner = ones.get();
    std::unique_ptr<ReadAhead::Source> same = levelledSource(std::move(ones), 1.0f);
    EXPECT_EQ(same.get(), inner) << "a factor of 1 leaves the source as it is";
    std::unique_ptr<ReadAhead::Source> half = levelledSource(std::move(same), 0.5f);
    EXPECT_EQ(half->seek(7), 7);
    EXPECT_EQ(inner->soughtTo, 7);
    std::vector<float> out = {9.0f};
    EXPECT_TRUE(half->read(out));
    EXPECT_FALSE(half->read(out));
    EXPECT_EQ(out, (std::vector<float>{9.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}));
}

TEST(Levelling, ReadsAFileFromDisk)
{
    const std::optional<GainTags> tags = readFileGainTags(std::string(ORVANE_GAIN_FIXTURES) + "/eyed3_v24.mp3");
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->album.gain, 3.0);
    EXPECT_FALSE(readFileGainTags(std::string(ORVANE_GAIN_FIXTURES) + "/none.mp3"));
}

} // namespace
} // namespace orvane
