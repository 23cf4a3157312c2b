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
    // What is known of a file's loudness. Its bands are kept only until its
    // folder's gain is known: a long evening through a large tree must not
    // keep every file's.
    struct FileMeasure {
        bool done = false;                 // measured, or could not be, or needs none
        std::optional<GainFigures> own;    // the file's own (track) gain and peak
        std::optional<MeasuredLoudness> bands;
    };
    std::map<std::string, FileMeasure> measured;
    struct Folder {
        std::vector<std::string> files;
        std::optional<GainFigures> gain; // once every file is done
        bool complete = false;
    };
    std::map<std::string, std::shared_ptr<Folder>> folderOf;
    std::atomic<bool> stop{false};

    // What is kept of the files and folders met: the newest alone, so that a
    // round of a large tree holds no more than a small one. A folder named
    // again after it was let go is measured anew from the cache.
    static constexpr std::size_t KeptFolders = 16;
    static constexpr std::size_t KeptTags = 4096;
    std::deque<std::shared_ptr<Folder>> folders;
    std::deque<std::string> tagsMet;

    void keepTags(const std::string& path)
    {
        tagsMet.push_back(path);
        while (tagsMet.size() > KeptTags) {
            known.erase(tagsMet.front());
            tagsMet.pop_front();
        }
    }
    void keepFolder(std::shared_ptr<Folder> folder)
    {
        folders.push_back(std::move(folder));
        while (folders.size() > KeptFolders) {
            const std::shared_ptr<Folder> old = std::move(folders.front());
            folders.pop_front();
            for (const std::string& file : old->files) {
                const auto held = folderOf.find(file);
                if (held == folderOf.end() || held->second != old)
                    continue; // a newer folder holds it now
                folderOf.erase(held);
                measured.erase(file);
                toMeasure.erase(std::remove(toMeasure.begin(), toMeasure.end(), file), toMeasure.end());
            }
        }
    }

    bool asked(const std::string& path) const
    {
        return known.count(path) || std::find(queue.begin(), queue.end(), path) != queue.end();
    }
    void askMeasure(const std::string& path)
    {
        if (std::find(toMeasure.begin(), toMeasure.end(), path) == toMeasure.end())
            toMeasure.push_back(path);
    }
    // The file's folder, once every one of its files is done: its gain from
    // their bands together, the folder's loudest sample its peak. The bands
    // then go.
    void completeFolderOf(const std::string& path)
    {
        const auto found = folderOf.find(path);
        if (found == folderOf.end() || found->second->complete)
            return;
        Folder& folder = *found->second;
        std::vector<const MeasuredLoudness*> files;
        double peak = 0.0;
        for (const std::string& file : folder.files) {
            const auto m = measured.find(file);
            if (m == measured.end() || !m->second.done)
                return;
            if (m->second.bands) {
                files.push_back(&*m->second.bands);
                peak = std::max(peak, m->second.bands->peak);
            }
        }
        if (const std::optional<double> lufs = integratedLoudness(files))
            folder.gain = GainFigures{kTargetLufs - *lufs, peak};
        folder.complete = true;
        for (const std::string& file : folder.files)
            measured[file].bands.reset();
    }
    std::optional<GainFigures> folderFigures(const std::string& path) const
    {
        const auto folder = folderOf.find(path);
        return folder != folderOf.end() ? folder->second->gain : std::nullopt;
    }
    std::optional<GainFigures> fileFigures(const std::string& path) const
    {
        const auto found = measured.find(path);
        return found != measured.end() ? found->second.own : std::nullopt;
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
        if (shared->known.insert_or_assign(path, std::move(tags)).second)
            shared->keepTags(path);
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
        // Where its folder was let go meanwhile, the cache alone keeps it.
        if (shared->folderOf.count(path)) {
            Shared::FileMeasure& file = shared->measured[path];
            file.done = true;
            if (measured)
                if (const std::optional<double> lufs = integratedLoudness({&*measured}))
                    file.own = GainFigures{kTargetLufs - *lufs, measured->peak};
            file.bands = std::move(measured);
            shared->completeFolderOf(path);
        }
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
    for (const std::string& path : files)
        if (!shared_->asked(path))
            shared_->queue.push_back(path);
    shared_->changed.notify_all();
    if (!shared_->decoder)
        return; // nothing is measured: the tags alone tell
    // The same folder named again is the one known: nothing to do.
    const auto known = files.empty() ? shared_->folderOf.end() : shared_->folderOf.find(files.front());
    if (known != shared_->folderOf.end() && known->second->files == files)
        return;
    auto folder = std::make_shared<Shared::Folder>();
    folder->files = files;
    for (const std::string& path : files) {
        shared_->folderOf[path] = folder;
        Shared::FileMeasure& file = shared_->measured[path];
        // A file measured for another folder (its bands gone) is measured
        // again for this one, from the cache.
        if (file.done && file.bands)
            continue;
        file.done = false;
        shared_->askMeasure(path);
    }
    shared_->keepFolder(folder);
    if (!files.empty())
        shared_->completeFolderOf(files.front());
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

std::size_t Levelling::held() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->known.size() + shared_->measured.size() + shared_->folderOf.size();
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
