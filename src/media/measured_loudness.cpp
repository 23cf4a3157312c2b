#include "media/measured_loudness.h"

#include "media/loudness_meter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#ifdef _WIN32
#include "platform/win_text.h"
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane {

namespace {

constexpr double kGateLufs = -70.0;
constexpr int kBandsPerLu = 10;
// The loudest block a decoder's full-scale samples can make (a square wave
// in both channels) lies under +6 LUFS; anything louder is counted there.
constexpr int kTopBand = 76 * kBandsPerLu;

double bandLoudness(int band)
{
    return kGateLufs + (band + 0.5) / kBandsPerLu;
}

} // namespace

MeasuredLoudness measuredFromBlocks(std::span<const double> blocks, double peak)
{
    std::map<int, std::uint32_t> counted;
    for (double block : blocks) {
        if (!(block > 0))
            continue;
        const double lufs = loudnessOf(block);
        if (!(lufs > kGateLufs))
            continue;
        ++counted[std::min(kTopBand, static_cast<int>(std::floor((lufs - kGateLufs) * kBandsPerLu)))];
    }
    MeasuredLoudness measured;
    measured.peak = peak;
    for (const auto& [band, count] : counted)
        measured.bands.emplace_back(static_cast<std::int16_t>(band), count);
    return measured;
}

std::optional<double> integratedLoudness(const std::vector<const MeasuredLoudness*>& files)
{
    // The standard's two gates over the blocks of all the files, each block
    // at its band's middle.
    const auto meanAbove = [&](double gate) -> std::optional<double> {
        double sum = 0;
        double count = 0;
        for (const MeasuredLoudness* file : files)
            for (const auto& [band, blocks] : file->bands)
                if (bandLoudness(band) > gate) {
                    sum += meanSquareOf(bandLoudness(band)) * blocks;
                    count += blocks;
                }
        if (count == 0)
            return std::nullopt;
        return sum / count;
    };
    const std::optional<double> ungated = meanAbove(kGateLufs);
    if (!ungated)
        return std::nullopt;
    const std::optional<double> gated = meanAbove(loudnessOf(*ungated) - 10.0);
    if (!gated)
        return std::nullopt;
    return loudnessOf(*gated);
}

std::optional<MeasuredLoudness> measureFile(LoudnessDecoder& decoder, const std::string& path,
                                            const std::atomic<bool>& stop)
{
    // A file may change its rate or channels part way (MP3 allows it): each
    // stretch is metered on its own, their blocks counted together.
    std::unique_ptr<LoudnessMeter> meter;
    int rate = 0;
    int channels = 0;
    std::vector<double> blocks;
    double peak = 0.0;
    const bool whole = decoder.decode(path, [&](int r, int c, std::span<const float> samples) {
        if (stop)
            return false;
        if (r <= 0 || c <= 0)
            return true;
        if (!meter || r != rate || c != channels) {
            if (meter)
                blocks.insert(blocks.end(), meter->blocks().begin(), meter->blocks().end());
            meter = std::make_unique<LoudnessMeter>(r, c);
            rate = r;
            channels = c;
        }
        for (float s : samples)
            peak = std::max(peak, static_cast<double>(std::fabs(s)));
        meter->add(samples);
        return true;
    });
    if (!whole || stop)
        return std::nullopt;
    if (meter)
        blocks.insert(blocks.end(), meter->blocks().begin(), meter->blocks().end());
    return measuredFromBlocks(blocks, peak);
}

std::optional<FileStamp> stampOf(const std::string& path)
{
#ifdef _WIN32
    const std::optional<std::wstring> wide = win::toWide(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!wide || !GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    stamp.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime);
    return stamp;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::int64_t>(st.st_size);
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
#endif
}

// --- the cache ----------------------------------------------------------------

namespace {

constexpr std::string_view kCacheHeader = "Orvane loudness 1\n";

// A path on one line of its own: the bytes that would end the line or the
// field, and the escape itself, as %XX.
std::string escaped(std::string_view path)
{
    std::string out;
    for (unsigned char c : path) {
        if (c < 0x20 || c == '%' || c == 0x7f) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f)
            return std::nullopt;
        if (c != '%') {
            out += static_cast<char>(c);
            continue;
        }
        unsigned value = 0;
        if (text.size() - i < 3)
            return std::nullopt;
        const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
        if (error != std::errc() || end != text.data() + i + 3)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

template <typename T>
bool parseWhole(std::string_view text, T& value)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The fields of one line, split at tabs.
std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

std::optional<std::string> readCacheFile(const std::string& path)
{
#ifdef _WIN32
    const std::optional<std::wstring> wide = win::toWide(path);
    std::FILE* f = wide ? _wfopen(wide->c_str(), L"rb") : nullptr;
#else
    std::FILE* f = std::fopen(path.c_str(), "rb");
#endif
    if (!f)
        return std::nullopt;
    std::string text;
    char buffer[64 * 1024];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() <= LoudnessCache::kMaxBytes)
        text.append(buffer, got);
    std::fclose(f);
    if (text.size() > LoudnessCache::kMaxBytes)
        return std::nullopt;
    return text;
}

} // namespace

std::string LoudnessCache::text() const
{
    // The ones used longest ago first, so that reading the text back keeps
    // their order of use; as many of the newest as the bounds allow.
    std::vector<const std::pair<const std::string, Entry>*> order;
    for (const auto& entry : entries_)
        order.push_back(&entry);
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->second.used < b->second.used; });
    std::vector<std::string> lines;
    std::size_t bytes = kCacheHeader.size();
    for (auto it = order.rbegin(); it != order.rend() && lines.size() < kMaxFiles; ++it) {
        const Entry& e = (*it)->second;
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "\t%lld\t%lld\t%.9g\t", static_cast<long long>(e.stamp.size),
                      static_cast<long long>(e.stamp.modified), e.measured.peak);
        std::string line = escaped((*it)->first) + numbers;
        bool first = true;
        for (const auto& [band, blocks] : e.measured.bands) {
            line += first ? "" : " ";
            line += std::to_string(band) + ":" + std::to_string(blocks);
            first = false;
        }
        line += '\n';
        if (bytes + line.size() > kMaxBytes)
            break;
        bytes += line.size();
        lines.push_back(std::move(line));
    }
    std::string text(kCacheHeader);
    text.reserve(bytes);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        text += *it;
    return text;
}

void LoudnessCache::readText(std::string_view text)
{
    entries_.clear();
    if (text.substr(0, kCacheHeader.size()) != kCacheHeader)
        return; // not a cache of ours: nothing in it is trusted
    text.remove_prefix(kCacheHeader.size());
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos)
            break; // the last line cut short
        const std::vector<std::string_view> fields = fieldsOf(text.substr(0, newline));
        text.remove_prefix(newline + 1);
        if (fields.size() != 5)
            continue;
        const std::optional<std::string> file = unescaped(fields[0]);
        Entry entry;
        long long size = 0;
        long long modified = 0;
        if (!file || file->empty() || !parseWhole(fields[1], size) || size < 0 || !parseWhole(fields[2], modified))
            continue;
        entry.stamp = {size, modified};
        const std::string peak(fields[3]);
        char* end = nullptr;
        entry.measured.peak = std::strtod(peak.c_str(), &end);
        if (peak.empty() || *end != '\0' || !(entry.measured.peak >= 0.0 && entry.measured.peak <= 1e3))
            continue;
        bool good = true;
        std::string_view bands = fields[4];
        while (good && !bands.empty()) {
            const std::size_t space = bands.find(' ');
            const std::string_view pair = bands.substr(0, space);
            bands.remove_prefix(space == std::string_view::npos ? bands.size() : space + 1);
            const std::size_t colon = pair.find(':');
            int band = 0;
            std::uint32_t blocks = 0;
            good = colon != std::string_view::npos && parseWhole(pair.substr(0, colon), band) && band >= 0
                   && band <= kTopBand && parseWhole(pair.substr(colon + 1), blocks) && blocks > 0
                   && (entry.measured.bands.empty() || entry.measured.bands.back().first < band);
            if (good)
                entry.measured.bands.emplace_back(static_cast<std::int16_t>(band), blocks);
        }
        if (!good)
            continue;
        entry.used = ++uses_;
        entries_[*file] = std::move(entry);
    }
}

void LoudnessCache::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    if (path_.empty())
        return;
    if (const std::optional<std::string> text = readCacheFile(path_))
        readText(*text);
}

std::optional<MeasuredLoudness> LoudnessCache::find(const std::string& file, const FileStamp& stamp)
{
    load();
    const auto found = entries_.find(file);
    if (found == entries_.end() || !(found->second.stamp == stamp))
        return std::nullopt;
    // Its place in the order of use is written with the next new measure.
    found->second.used = ++uses_;
    return found->second.measured;
}

void LoudnessCache::put(const std::string& file, const FileStamp& stamp, const MeasuredLoudness& measured)
{
    load();
    entries_[file] = Entry{stamp, measured, ++uses_};
    changed_ = true;
    if (entries_.size() > kMaxFiles + kMaxFiles / 10) {
        // Trimmed now and then rather than at each put.
        const std::string kept = text();
        readText(kept);
    }
}

bool LoudnessCache::save()
{
    if (!changed_ || path_.empty())
        return true;
    if (!replaceFileWith(path_, text()))
        return false;
    changed_ = false;
    return true;
}

std::string defaultLoudnessCachePath()
{
#ifdef _WIN32
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local)
        return {};
    const std::optional<std::string> folder = win::toUtf8(local);
    return folder ? *folder + "\\Orvane\\loudness.txt" : std::string{};
#else
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/Orvane/loudness.txt";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.cache/Orvane/loudness.txt";
    return {};
#endif
}

bool replaceFileWith(const std::string& path, std::string_view text)
{
#ifdef _WIN32
    const std::optional<std::wstring> wide = win::toWide(path);
    if (!wide)
        return false;
    const std::filesystem::path target(*wide);
    std::error_code error;
    std::filesystem::create_directories(target.parent_path(), error);
    // A name of this process's own beside the target, so that two copies of
    // the program never write into the same scratch file.
    const std::wstring scratch = *wide + L".tmp-" + std::to_wstring(GetCurrentProcessId());
    std::FILE* f = _wfopen(scratch.c_str(), L"wb");
    if (!f)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
    std::fclose(f);
    if (!written || !MoveFileExW(scratch.c_str(), wide->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(scratch.c_str());
        return false;
    }
    return true;
#else
    const std::filesystem::path target(path);
    std::error_code error;
    std::filesystem::create_directories(target.parent_path(), error);
    std::string scratch = path + ".tmp-XXXXXX";
    const int fd = mkstemp(scratch.data());
    if (fd < 0)
        return false;
    bool written = true;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    written = written && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(scratch.c_str(), path.c_str()) != 0) {
        ::unlink(scratch.c_str());
        return false;
    }
    return true;
#endif
}

} // namespace orvane
