#include "media/levelling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include "platform/win_text.h"
#include <windows.h>
#else
#include <pthread.h>
#include <sys/resource.h>
#endif

namespace orvane {

double levelFactor(const GainTags& tags, double preampDb)
{
    const GainFigures& chosen = tags.album.gain ? tags.album : tags.track;
    const double gainDb = chosen.gain.value_or(kUnknownGainDb) + preampDb;
    double factor = std::pow(10.0, gainDb / 20.0);
    // The album's peak where it has one; the file's own is at most as high.
    const std::optional<double> peak = chosen.peak ? chosen.peak : tags.track.peak;
    if (peak && *peak * factor > 1.0)
        factor = 1.0 / *peak;
    return factor;
}

namespace {

class LevelledSource : public ReadAhead::Source {
public:
    LevelledSource(std::unique_ptr<ReadAhead::Source> source, float factor) : source_(std::move(source)), factor_(factor) {}
    bool read(std::vector<float>& out) override
    {
        const std::size_t from = out.size();
        const bool more = source_->read(out);
        for (std::size_t i = from; i < out.size(); ++i)
            out[i] *= factor_;
        return more;
    }
    std::int64_t seek(std::int64_t frame) override { return source_->seek(frame); }

private:
    std::unique_ptr<ReadAhead::Source> source_;
    float factor_;
};

struct File {
    std::FILE* f = nullptr;
    ~File()
    {
        if (f)
            std::fclose(f);
    }
};

bool readAt(std::FILE* f, long long at, std::vector<unsigned char>& into, std::size_t count)
{
#ifdef _WIN32
    if (_fseeki64(f, at, SEEK_SET) != 0)
        return false;
#else
    if (fseeko(f, static_cast<off_t>(at), SEEK_SET) != 0)
        return false;
#endif
    into.resize(count);
    into.resize(std::fread(into.data(), 1, count, f));
    return true;
}

} // namespace

std::unique_ptr<ReadAhead::Source> levelledSource(std::unique_ptr<ReadAhead::Source> source, float factor)
{
    if (!source || factor == 1.0f)
        return source;
    return std::make_unique<LevelledSource>(std::move(source), factor);
}

std::optional<GainTags> readFileGainTags(const std::string& path)
{
    File file;
#ifdef _WIN32
    const std::optional<std::wstring> wide = win::toWide(path);
    if (!wide)
        return std::nullopt;
    file.f = _wfopen(wide->c_str(), L"rb");
#else
    file.f = std::fopen(path.c_str(), "rb");
#endif
    if (!file.f)
        return std::nullopt;
#ifdef _WIN32
    if (_fseeki64(file.f, 0, SEEK_END) != 0)
        return std::nullopt;
    const long long size = _ftelli64(file.f);
#else
    if (fseeko(file.f, 0, SEEK_END) != 0)
        return std::nullopt;
    const long long size = ftello(file.f);
#endif
    if (size < 0)
        return std::nullopt;
    std::vector<unsigned char> head;
    std::vector<unsigned char> tail;
    const std::size_t tailBytes = static_cast<std::size_t>(std::min<long long>(size, kGainTailBytes));
    if (!readAt(file.f, 0, head, kGainHeadBytes) || !readAt(file.f, size - tailBytes, tail, tailBytes))
        return std::nullopt;
    return readGainTags(head, tail);
}

struct Levelling::Shared {
    explicit Shared(Read r) : read(std::move(r)) {}
    Read read;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> queue;
    std::map<std::string, std::optional<GainTags>> known;
    bool stopping = false;

    // The measuring thread's, once there is a decoder.
    std::shared_ptr<LoudnessDecoder> decoder;
    std::string cachePath;
    std::deque<std::string> toMeasure;
    bool measuring = false; // a file is being measured now
    std::map<std::string, std::optional<MeasuredLoudness>> measured;
    std::map<std::string, std::shared_ptr<const std::vector<std::string>>> folderOf;
    std::atomic<bool> stop{false};

    bool asked(const std::string& path) const
    {
        return known.count(path) || std::find(queue.begin(), queue.end(), path) != queue.end();
    }
    // The folder's measure where every one of its files has been measured
    // (or could not be, or needs none: it carries an album gain).
    std::optional<GainFigures> folderFigures(const std::string& path) const
    {
        const auto folder = folderOf.find(path);
        if (folder == folderOf.end())
            return std::nullopt;
        std::vector<const MeasuredLoudness*> files;
        double peak = 0.0;
        for (const std::string& file : *folder->second) {
            const auto found = measured.find(file);
            if (found == measured.end())
                return std::nullopt;
            if (found->second) {
                files.push_back(&*found->second);
                peak = std::max(peak, found->second->peak);
            }
        }
        const std::optional<double> lufs = integratedLoudness(files);
        if (!lufs)
            return std::nullopt;
        return GainFigures{kTargetLufs - *lufs, peak};
    }
    std::optional<GainFigures> fileFigures(const std::string& path) const
    {
        const auto found = measured.find(path);
        if (found == measured.end() || !found->second)
            return std::nullopt;
        const std::optional<double> lufs = integratedLoudness({&*found->second});
        if (!lufs)
            return std::nullopt;
        return GainFigures{kTargetLufs - *lufs, found->second->peak};
    }
};

Levelling::Levelling(Read read) : shared_(std::make_shared<Shared>(std::move(read)))
{
    std::thread(run, shared_).detach();
}

Levelling::~Levelling()
{
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    shared_->stop = true;
    shared_->changed.notify_all();
}

namespace {

// Below the sound and the window: what is read here is for later.
void lowerPriority(bool lowest)
{
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), lowest ? THREAD_PRIORITY_IDLE : THREAD_PRIORITY_BELOW_NORMAL);
#else
    setpriority(PRIO_PROCESS, 0, lowest ? 19 : 10); // this thread alone, on Linux
#endif
}

} // namespace

void Levelling::run(std::shared_ptr<Shared> shared)
{
    lowerPriority(false);
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->stopping || !shared->queue.empty(); });
        if (shared->stopping)
            return;
        const std::string path = shared->queue.front();
        lock.unlock();
        std::optional<GainTags> tags = shared->read(path);
        lock.lock();
        shared->queue.pop_front();
        shared->known[path] = std::move(tags);
        shared->changed.notify_all();
    }
}

void Levelling::measure(std::shared_ptr<Shared> shared)
{
    lowerPriority(true);
#ifndef _WIN32
    // Named, so that its cost can be told apart from the rest of the program's.
    pthread_setname_np(pthread_self(), "orvane-measure");
#endif
    LoudnessCache cache(shared->cachePath);
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->stopping || !shared->toMeasure.empty(); });
        if (shared->stopping)
            return;
        const std::string path = shared->toMeasure.front();
        shared->toMeasure.pop_front();
        // A file whose tags give its album's gain needs no measure.
        const auto tags = shared->known.find(path);
        const bool needed = tags == shared->known.end() || !tags->second || !tags->second->album.gain;
        shared->measuring = true;
        lock.unlock();
        std::optional<MeasuredLoudness> measured;
        if (needed) {
            if (const std::optional<FileStamp> stamp = stampOf(path)) {
                measured = cache.find(path, *stamp);
                if (!measured) {
                    measured = measureFile(*shared->decoder, path, shared->stop);
                    if (measured)
                        cache.put(path, *stamp, *measured);
                }
            }
        }
        lock.lock();
        if (shared->stopping)
            return;
        shared->measured[path] = std::move(measured);
        if (shared->toMeasure.empty()) {
            // A folder measured: its measures kept before the next is asked for.
            lock.unlock();
            cache.save();
            lock.lock();
        }
        shared->measuring = false;
        shared->changed.notify_all();
    }
}

void Levelling::ahead(const std::string& path)
{
    std::lock_guard lock(shared_->mutex);
    if (shared_->asked(path))
        return;
    shared_->queue.push_back(path);
    shared_->changed.notify_all();
}

void Levelling::aheadFolder(const std::vector<std::string>& files)
{
    std::lock_guard lock(shared_->mutex);
    auto folder = std::make_shared<const std::vector<std::string>>(files);
    for (const std::string& path : files) {
        shared_->folderOf[path] = folder;
        if (!shared_->asked(path))
            shared_->queue.push_back(path);
        if (shared_->decoder && !shared_->measured.count(path)
            && std::find(shared_->toMeasure.begin(), shared_->toMeasure.end(), path) == shared_->toMeasure.end())
            shared_->toMeasure.push_back(path);
    }
    shared_->changed.notify_all();
}

void Levelling::measureWith(std::shared_ptr<LoudnessDecoder> decoder, std::string cachePath)
{
    std::lock_guard lock(shared_->mutex);
    if (shared_->decoder || !decoder)
        return;
    shared_->decoder = std::move(decoder);
    shared_->cachePath = std::move(cachePath);
    std::thread(measure, shared_).detach();
}

bool Levelling::measuredAll(std::chrono::milliseconds wait)
{
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, wait, [&] { return shared_->toMeasure.empty() && !shared_->measuring; });
}

double Levelling::factorFor(const std::string& path, std::chrono::milliseconds wait)
{
    if (!on_)
        return 1.0;
    ahead(path);
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait_for(lock, wait, [&] { return shared_->known.count(path) != 0; });
    const auto found = shared_->known.find(path);
    GainTags tags = found != shared_->known.end() && found->second ? *found->second : GainTags{};
    if (!tags.album.gain)
        if (const std::optional<GainFigures> folder = shared_->folderFigures(path))
            tags.album = *folder;
    if (!tags.album.gain && !tags.track.gain)
        if (const std::optional<GainFigures> file = shared_->fileFigures(path))
            tags.track = *file;
    return levelFactor(tags, preampDb_);
}

} // namespace orvane
