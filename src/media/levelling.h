#pragma once

#include "media/gain_tags.h"
#include "media/measured_loudness.h"
#include "media/read_ahead.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The ReplayGain 2.0 reference loudness, which tagged gains lead to.
inline constexpr double kTargetLufs = -18.0;
// A file whose loudness nothing tells yet plays this many dB down: most of
// what is released today is mastered 6 to 12 dB above the reference, so a
// file heard before it is known never comes out much louder than one that is
// levelled, at the cost of a quiet old record sounding quieter still.
inline constexpr double kUnknownGainDb = -8.0;

// The factor a file's samples are multiplied by to be heard at the reference
// loudness (with `preampDb` added): the album's gain where the file has one
// (a folder plays as an album), else the track's, else kUnknownGainDb; cut so
// that the loudest sample the tags give times the factor stays at or under
// full scale.
double levelFactor(const GainTags& tags, double preampDb);

// The source's samples times factor, for an output whose own float samples
// are levelled: in force from the first sample, the same to the last.
std::unique_ptr<ReadAhead::Source> levelledSource(std::unique_ptr<ReadAhead::Source> source, float factor);

// The whole file's ReplayGain tags as readGainTags reads them, from the file
// at `path` (a native path: bytes on Linux, UTF-8 on Windows); nothing when
// the file cannot be read.
std::optional<GainTags> readFileGainTags(const std::string& path);

// Each file's level for the sound outputs, decided from the file's own tags,
// which are read on a thread of its own at low priority (never on the window
// thread nor the sound thread: the file may be on a share that stalls), ahead
// of the file's turn where the next file is known. Its reads are of the files
// themselves, never through the player's FileSystem.
//
// A folder plays as an album. Where its files carry no album gain, and a
// decoder is given, the folder's files are measured ahead, on a second thread
// at the lowest priority (a file's decode takes far longer than its tags),
// and the folder's gain comes from their loudness together once every one of
// them is measured; until then a file measured on its own plays at its own
// (track) gain, and one not measured yet at kUnknownGainDb. The measures are
// kept in a cache file, so that each file is decoded once.
class Levelling {
public:
    using Read = std::function<std::optional<GainTags>(const std::string& path)>;
    explicit Levelling(Read read = readFileGainTags);
    // Never waits for the reading thread: a read that hangs on a stalled
    // share ends by itself later, on its own thread.
    ~Levelling();
    Levelling(const Levelling&) = delete;
    Levelling& operator=(const Levelling&) = delete;

    // Off: every file plays as it is (factor 1). The choice holds from the
    // next file that is asked for.
    void setOn(bool on) { on_ = on; }
    bool on() const { return on_; }
    void setPreampDb(double db) { preampDb_ = db; }

    // Has the file's tags read now, on the levelling's thread.
    void ahead(const std::string& path);
    // The files of a folder that plays now or soon, in the order they play:
    // their tags are read, and with a decoder their loudness measured, in
    // that order. Asking again for a folder measured already costs nothing.
    void aheadFolder(const std::vector<std::string>& files);
    // Measures through the decoder from now on, the measures kept in the
    // cache file at cachePath (none when empty). Once only.
    void measureWith(std::shared_ptr<LoudnessDecoder> decoder, std::string cachePath);
    // Waits up to `wait` until every file asked to be measured is; whether
    // they all are.
    bool measuredAll(std::chrono::milliseconds wait);
    // The files whose tags, measures or folder it holds now: bounded however
    // many it has met.
    std::size_t held() const;
    // The factor the file plays at: 1 while off; otherwise from its tags,
    // waited for at most `wait`, and what is measured by then: the album's
    // gain from the tags, else its folder's measured gain, else the track's
    // from the tags, else the file's own measured gain, else kUnknownGainDb.
    // Any thread; never waits for a measure.
    double factorFor(const std::string& path, std::chrono::milliseconds wait = std::chrono::milliseconds(300));

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);
    static void measure(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::atomic<bool> on_{false};
    std::atomic<double> preampDb_{0.0};
};

} // namespace orvane
