#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// A file's loudness as measured from its decoded sound: how many of its
// gating blocks (BS.1770-4: 400 ms, every 100 ms) fall in each band of
// 0.1 LU above -70 LUFS, and its loudest sample. Bands rather than the blocks
// themselves keep a file's measure small whatever its length, and the bands
// of a folder's files added together gate as its blocks together would
// (within half a band, 0.05 LU).
struct MeasuredLoudness {
    // (band, blocks in it), in rising order of band; band 0: -70 LUFS up to
    // -69.9. Eight bytes a band: a cache of thousands of files stays small.
    std::vector<std::pair<std::int16_t, std::uint32_t>> bands;
    double peak = 0.0;                  // the largest sample magnitude, 1.0 full scale
    bool operator==(const MeasuredLoudness&) const = default;
};

// The bands of the blocks a LoudnessMeter gave, with the peak given.
MeasuredLoudness measuredFromBlocks(std::span<const double> blocks, double peak);
// The integrated loudness in LUFS of the files given taken together, as one
// album; nothing where no block is above the gates.
std::optional<double> integratedLoudness(const std::vector<const MeasuredLoudness*>& files);

// The decode a program measures its files with: its own decoder for the
// files it plays, called on the measuring thread only. The core measures
// what it gives.
class LoudnessDecoder {
public:
    // One piece of the file's sound, interleaved float samples; false from it
    // stops the decoding.
    using Take = std::function<bool(int rate, int channels, std::span<const float> samples)>;
    virtual ~LoudnessDecoder() = default;
    // The whole file at `path` (a native path: bytes on Linux, UTF-8 on
    // Windows) decoded from its first sample to its last, piece by piece;
    // false when it could not be opened or decoded to its end, or take
    // stopped it.
    virtual bool decode(const std::string& path, const Take& take) = 0;
};

// The file measured through the decoder; nothing when it could not be
// decoded whole, or stop was set meanwhile.
std::optional<MeasuredLoudness> measureFile(LoudnessDecoder& decoder, const std::string& path,
                                            const std::atomic<bool>& stop);

// What tells whether a file is still the one measured: its size and the
// time it was last written, as the file system keeps them.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modified = 0; // ns (Linux) or 100 ns ticks (Windows) since the system's epoch
    bool operator==(const FileStamp&) const = default;
};
// Nothing when there is no regular file at path.
std::optional<FileStamp> stampOf(const std::string& path);

// Files measured before, kept in one small file between runs so that a file
// is decoded once: keyed by path, size and modification time. Used by one
// thread.
class LoudnessCache {
public:
    // At most this many files are kept; the ones used longest ago go first.
    static constexpr std::size_t kMaxFiles = 5000;
    // Nor more than this many bytes (the newest kept); a cache file larger
    // than this is not read (and so is replaced).
    static constexpr std::size_t kMaxBytes = 8u << 20;

    // The file at path, read at the first find; empty text: kept in memory
    // only.
    explicit LoudnessCache(std::string path) : path_(std::move(path)) {}

    std::optional<MeasuredLoudness> find(const std::string& file, const FileStamp& stamp);
    void put(const std::string& file, const FileStamp& stamp, const MeasuredLoudness& measured);
    // Writes the cache file whole in place of the old one, if a measure has
    // been put since it was read or written; false when it could not be.
    bool save();

    // The cache's text, and the entries read back from it: a text that is not
    // a cache reads as empty, and a damaged line as no entry.
    std::string text() const;
    void readText(std::string_view text);
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        FileStamp stamp;
        MeasuredLoudness measured;
        std::uint64_t used = 0;
    };
    void load();

    std::string path_;
    bool loaded_ = false;
    bool changed_ = false;
    std::uint64_t uses_ = 0;
    std::map<std::string, Entry> entries_;
};

// Where the program keeps its measures: ${XDG_CACHE_HOME:-~/.cache}/Orvane/
// on Linux, %LOCALAPPDATA%\Orvane\ on Windows; empty where neither is known.
std::string defaultLoudnessCachePath();

// The file at path replaced by text as one step: a kill at any instant leaves
// the old file or the new one whole, never a mix. The folder is made when
// missing. False when the text could not be put in place.
bool replaceFileWith(const std::string& path, std::string_view text);

} // namespace orvane
