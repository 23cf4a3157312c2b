// A folder's loudness measured ahead through a decoder (here a fake one that
// makes tones), the gains a file plays at before and after, and the cache
// that keeps the measures between runs.
#include "media/levelling.h"
#include "media/loudness_meter.h"
#include "media/measured_loudness.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <numbers>
#include <set>

namespace orvane {
namespace {

using test::TempTree;

double dB(double factor)
{
    return 20.0 * std::log10(factor);
}

// The loudness of a 997 Hz sine of this amplitude in one channel (the
// K-weighting leaves 997 Hz as it is).
double sineLufs(double amplitude)
{
    return -3.01 + dB(amplitude);
}

const auto forever = std::chrono::hours(1);

// Two seconds of a 997 Hz sine a file, of the file's amplitude, with one
// sample of `click` where given. A file is decoded once it is let through
// (all are unless `gated`).
class ToneDecoder : public LoudnessDecoder {
public:
    struct Tone {
        double amplitude;
        double click = 0.0;
    };
    explicit ToneDecoder(bool gated = false) : gated_(gated) {}

    void set(const std::string& path, Tone tone)
    {
        std::lock_guard lock(mutex_);
        tones_[path] = tone;
    }
    void letThrough(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        let_.insert(path);
        changed_.notify_all();
    }
    // Waits until the measuring has got to the file (and so has kept the
    // measures of every file before it).
    void awaitStarted(const std::string& path)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return started_.count(path) != 0; });
    }
    int decodes() const
    {
        std::lock_guard lock(mutex_);
        return decodes_;
    }

    bool decode(const std::string& path, const Take& take) override
    {
        Tone tone;
        {
            std::unique_lock lock(mutex_);
            started_.insert(path);
            changed_.notify_all();
            changed_.wait(lock, [&] { return !gated_ || let_.count(path) != 0; });
            const auto found = tones_.find(path);
            if (found == tones_.end())
                return false;
            tone = found->second;
            ++decodes_;
        }
        const int rate = 48000;
        std::vector<float> piece;
        for (int i = 0; i < 2 * rate; ++i) {
            piece.push_back(static_cast<float>(tone.amplitude * std::sin(2 * std::numbers::pi * 997 * i / rate)));
            if (i == rate && tone.click > 0)
                piece.back() = static_cast<float>(tone.click);
            if (piece.size() == 4096 || i + 1 == 2 * rate) {
                if (!take(rate, 1, piece))
                    return false;
                piece.clear();
            }
        }
        return true;
    }

private:
    bool gated_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Tone> tones_;
    std::set<std::string> let_;
    std::set<std::string> started_;
    int decodes_ = 0;
};

struct Folders : ::testing::Test {
    TempTree tree;
    std::map<std::string, GainTags> tags;
    Levelling::Read read = [this](const std::string& path) -> std::optional<GainTags> {
        const auto found = tags.find(path);
        return found == tags.end() ? GainTags{} : found->second;
    };
    std::string file(const std::string& rel) { return tree.makeFile(rel, "sound of " + rel); }
    std::string cachePath() { return tree.path("cache/Orvane/loudness.txt"); }
};

TEST_F(Folders, UntaggedFolderPlaysAtDefaultThenTrackGainThenItsMeasuredGain)
{
    const std::string quiet = file("a/1.mp3"), loud = file("a/2.mp3"), tagged = file("a/3.mp3");
    tags[tagged] = GainTags{{-3.0, std::nullopt}, {}};
    auto decoder = std::make_shared<ToneDecoder>(true);
    decoder->set(quiet, {0.2});
    decoder->set(loud, {0.4});
    decoder->set(tagged, {0.4});
    Levelling levelling(read);
    levelling.setOn(true);
    levelling.measureWith(decoder, cachePath());
    levelling.aheadFolder({quiet, loud, tagged});

    decoder->awaitStarted(quiet);
    EXPECT_NEAR(dB(levelling.factorFor(quiet, forever)), kUnknownGainDb, 1e-9) << "nothing measured yet";
    EXPECT_NEAR(dB(levelling.factorFor(tagged, forever)), -3.0, 1e-9) << "its own track gain meanwhile";

    decoder->letThrough(quiet);
    decoder->awaitStarted(loud);
    EXPECT_NEAR(dB(levelling.factorFor(quiet, forever)), kTargetLufs - sineLufs(0.2), 0.05)
        << "measured on its own: its track gain";
    EXPECT_NEAR(dB(levelling.factorFor(loud, forever)), kUnknownGainDb, 1e-9);

    decoder->letThrough(loud);
    decoder->letThrough(tagged);
    ASSERT_TRUE(levelling.measuredAll(forever));
    // The three together, as one album: their mean square's loudness (all
    // three above the relative gate).
    const double folderLufs = -3.01 + 10 * std::log10((0.2 * 0.2 + 0.4 * 0.4 + 0.4 * 0.4) / 3);
    for (const std::string& path : {quiet, loud, tagged})
        EXPECT_NEAR(dB(levelling.factorFor(path, forever)), kTargetLufs - folderLufs, 0.05) << path;
    levelling.setPreampDb(2.0);
    EXPECT_NEAR(dB(levelling.factorFor(quiet, forever)), kTargetLufs - folderLufs + 2.0, 0.05);
}

TEST_F(Folders, AlbumGainBeatsTheMeasureAndTheGainNeverClips)
{
    const std::string albumTagged = file("a/1.mp3"), plain = file("a/2.mp3");
    const std::string clicky = file("b/1.mp3"), unreadable = file("b/2.mp3");
    tags[albumTagged] = GainTags{{}, {-6.0, std::nullopt}};
    auto decoder = std::make_shared<ToneDecoder>();
    decoder->set(albumTagged, {0.05});
    decoder->set(plain, {0.05});
    // Quiet, with one sample near full scale: the gain its loudness asks for
    // would clip that sample.
    decoder->set(clicky, {0.02, 0.8});
    Levelling levelling(read);
    levelling.setOn(true);
    levelling.measureWith(decoder, cachePath());
    levelling.aheadFolder({albumTagged, plain});
    levelling.aheadFolder({clicky, unreadable});
    ASSERT_TRUE(levelling.measuredAll(forever));

    EXPECT_NEAR(dB(levelling.factorFor(albumTagged, forever)), -6.0, 1e-9);
    EXPECT_NEAR(dB(levelling.factorFor(plain, forever)), kTargetLufs - sineLufs(0.05), 0.05);
    EXPECT_NEAR(levelling.factorFor(clicky, forever), 1.0 / 0.8, 1e-6) << "gain x peak stays at full scale";
    EXPECT_NEAR(levelling.factorFor(unreadable, forever), 1.0 / 0.8, 1e-6)
        << "a file that cannot be decoded plays at its folder's gain";
    EXPECT_NEAR(dB(levelling.factorFor(file("c/never.mp3"), forever)), kUnknownGainDb, 1e-9);
}

TEST_F(Folders, EachFileIsDecodedOnceAndAgainOnlyWhenItChanges)
{
    const std::string one = file("a/1.mp3"), two = file("a/2.mp3"), three = file("a/3.mp3");
    auto decoder = std::make_shared<ToneDecoder>();
    decoder->set(one, {0.1});
    decoder->set(two, {0.1});
    decoder->set(three, {0.4});
    double before = 0;
    {
        Levelling levelling(read);
        levelling.setOn(true);
        levelling.measureWith(decoder, cachePath());
        levelling.aheadFolder({one, two, three});
        levelling.aheadFolder({one, two, three});
        ASSERT_TRUE(levelling.measuredAll(forever));
        EXPECT_EQ(decoder->decodes(), 3);
        // The folder without its loud file: measured anew from what is kept.
        levelling.aheadFolder({one, two});
        ASSERT_TRUE(levelling.measuredAll(forever));
        before = levelling.factorFor(one, forever);
        EXPECT_NEAR(dB(before), kTargetLufs - sineLufs(0.1), 0.05);
        EXPECT_EQ(decoder->decodes(), 3);
    }
    // The next run measures from the cache, save for the file rewritten
    // since (its size changed) and the one whose time changed.
    tree.makeFile("a/2.mp3", "other sound, longer");
    tree.setModified("a/3.mp3", std::chrono::system_clock::now() - std::chrono::hours(30));
    Levelling again(read);
    again.setOn(true);
    again.measureWith(decoder, cachePath());
    again.aheadFolder({one, two});
    ASSERT_TRUE(again.measuredAll(forever));
    EXPECT_EQ(decoder->decodes(), 4);
    EXPECT_NEAR(again.factorFor(one, forever), before, 1e-9);
    again.aheadFolder({one, two, three});
    ASSERT_TRUE(again.measuredAll(forever));
    EXPECT_EQ(decoder->decodes(), 5);
}

// A round of a large tree keeps what the newest folders need and no more;
// a folder let go and named again is measured from the cache, not decoded.
TEST_F(Folders, WhatIsHeldStaysBoundedOverALargeTreeAndAFolderComesBackFromTheCache)
{
    const std::string one = file("a/1.mp3"), two = file("a/2.mp3");
    auto decoder = std::make_shared<ToneDecoder>();
    decoder->set(one, {0.1});
    decoder->set(two, {0.3});
    Levelling levelling(read);
    levelling.setOn(true);
    levelling.measureWith(decoder, cachePath());
    levelling.aheadFolder({one, two});
    ASSERT_TRUE(levelling.measuredAll(forever));
    const double gain = levelling.factorFor(one, forever);
    ASSERT_EQ(decoder->decodes(), 2);

    const int folders = 1400, perFolder = 3; // more files than the tags kept
    for (int f = 0; f < folders; ++f) {
        std::vector<std::string> files;
        for (int i = 0; i < perFolder; ++i)
            files.push_back(tree.path("t/" + std::to_string(f) + "/" + std::to_string(i) + ".mp3"));
        levelling.aheadFolder(files);
        (void)levelling.factorFor(files.back(), forever); // its tags read, as the files play
    }
    ASSERT_TRUE(levelling.measuredAll(forever));
    EXPECT_LE(levelling.held(), 4096u + 2u * 16u * perFolder);

    levelling.aheadFolder({one, two});
    ASSERT_TRUE(levelling.measuredAll(forever));
    EXPECT_NEAR(levelling.factorFor(one, forever), gain, 1e-9);
    EXPECT_EQ(decoder->decodes(), 2) << "measured from the cache";
}

TEST(LoudnessCache, KeepsFilesByPathSizeAndTimeAndReadsDamageAsNothing)
{
    MeasuredLoudness measured;
    measured.bands = {{300, 7}, {412, 1}};
    measured.peak = 0.5;
    LoudnessCache cache("");
    const std::string odd = "/music/a\tb\nc%d.mp3";
    cache.put(odd, {100, 5}, measured);
    cache.put("/music/b.mp3", {200, 6}, measured);
    const std::string text = cache.text();

    LoudnessCache back("");
    back.readText(text);
    EXPECT_EQ(back.find(odd, {100, 5}), measured);
    EXPECT_FALSE(back.find(odd, {101, 5})) << "another size";
    EXPECT_FALSE(back.find(odd, {100, 6})) << "another time";

    back.readText("garbage\n" + text);
    EXPECT_EQ(back.size(), 0u);
    back.readText(text.substr(0, text.size() - 3));
    EXPECT_EQ(back.size(), 1u) << "the last line cut short";
    for (const char* damage : {"x", "\t9", ":", " 5:", "-"}) {
        std::string damaged = text;
        damaged.insert(text.rfind(':'), damage);
        back.readText(damaged);
        EXPECT_EQ(back.size(), 1u) << damage;
        EXPECT_TRUE(back.find(odd, {100, 5})) << damage;
    }
}

TEST(LoudnessCache, KeepsTheFilesUsedLastOnceFullAndReplacesItsFileWhole)
{
    TempTree tree;
    const std::string path = tree.path("deep/er/loudness.txt");
    MeasuredLoudness measured;
    measured.bands = {{1, 1}};
    {
        LoudnessCache cache(path);
        for (std::size_t i = 0; i <= LoudnessCache::kMaxFiles; ++i)
            cache.put("/f" + std::to_string(i), {1, 1}, measured);
        EXPECT_TRUE(cache.find("/f0", {1, 1})) << "used again: the newest";
        ASSERT_TRUE(cache.save());
    }
    LoudnessCache back(path);
    EXPECT_TRUE(back.find("/f0", {1, 1}));
    EXPECT_FALSE(back.find("/f1", {1, 1})) << "the one used longest ago";
    EXPECT_EQ(back.size(), LoudnessCache::kMaxFiles);
    // Long paths: the newest that fit in the bytes the cache may take.
    LoudnessCache longNames("");
    const std::string longName(4000, 'n');
    for (int i = 0; i < 3000; ++i)
        longNames.put("/" + std::to_string(i) + longName, {1, 1}, measured);
    const std::string text = longNames.text();
    EXPECT_LE(text.size(), LoudnessCache::kMaxBytes);
    longNames.readText(text);
    EXPECT_TRUE(longNames.find("/2999" + longName, {1, 1}));
    EXPECT_FALSE(longNames.find("/0" + longName, {1, 1}));
    EXPECT_GT(longNames.size(), 2000u);

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tree.fsPath("deep/er")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"loudness.txt"}) << "no scratch file left";
}

TEST(MeasuredLoudness, BandsGateAsTheBlocksThemselves)
{
    // Steps 20 dB apart, some under the relative gate, and silence.
    const int rate = 44100;
    std::vector<float> samples;
    for (double amplitude : {0.5, 0.05, 0.0, 0.2, 0.005, 0.3})
        for (int i = 0; i < 3 * rate; ++i)
            samples.push_back(static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * 440 * i / rate)));
    LoudnessMeter meter(rate, 1);
    meter.add(samples);
    const MeasuredLoudness measured = measuredFromBlocks(meter.blocks(), 0.5);
    ASSERT_TRUE(integratedLoudness({&measured}));
    EXPECT_NEAR(*integratedLoudness({&measured}), *integratedLoudness(meter.blocks()), 0.05);
    const MeasuredLoudness silent = measuredFromBlocks(std::vector<double>(50, 0.0), 0.0);
    EXPECT_FALSE(integratedLoudness({&silent}));
}

} // namespace
} // namespace orvane
