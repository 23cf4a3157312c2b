#include "qt/mpv_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <mpv/client.h>

#include <QMetaObject>

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

namespace orvane {

namespace {

// An embedded, audio-only player that does nothing on its own: no user
// configuration, scripts, key bindings or terminal, and no file but the one it
// is told to play. Without gapless audio mpv reports a file's end once its
// last sample has been played, not when it was queued: the player answers the
// end with "Close", which would cut off what is still queued. access-references=no keeps play lists, EDL, cue sheets,
// archives, directories and ffmpeg's nested opens (HLS, concat, DASH) from
// reaching other files; the protocol whitelist stops ffmpeg formats such as SDP
// that open network streams by themselves.
struct Option {
    const char* name;
    const char* value;
    bool required; // without it the player is not safe or not correct
};

constexpr Option kEmbeddedOptions[] = {
    {"config", "no", true},
    {"terminal", "no", false},
    {"load-scripts", "no", true},
    {"load-stats-overlay", "no", false},
    {"load-osd-console", "no", false},
    {"load-auto-profiles", "no", false},
    {"ytdl", "no", true},
    {"osc", "no", false},
    {"input-default-bindings", "no", false},
    {"input-builtin-bindings", "no", false},
    {"input-vo-keyboard", "no", false},
    {"input-terminal", "no", false},
    {"input-media-keys", "no", false},
    {"vid", "no", true},
    {"sid", "no", false},
    {"audio-display", "no", false},
    {"vo", "null", false},
    {"idle", "yes", true},
    {"keep-open", "no", true},
    {"gapless-audio", "no", true},
    {"resume-playback", "no", true},
    {"save-position-on-quit", "no", false},
    {"autoload-files", "no", false},
    {"audio-file-auto", "no", true},
    {"sub-auto", "no", true},
    {"cover-art-auto", "no", true},
    {"ordered-chapters", "no", true},
    {"access-references", "no", true},
    {"load-unsafe-playlists", "no", true},
    {"demuxer-lavf-o", "protocol_whitelist=file", true},
    {"audio-client-name", "Orvane", false},
    // The next file can be queued only once the player has named it, which is
    // when the file before it has been heard to its end; mpv must not have
    // decoded all of a short file by then. mpv's own default (0.2 s, on top of
    // the sound server's) covers a whole 0.3 s file.
    {"audio-buffer", "0.1", false},
};

// The player's own: the file queued behind the playing one is opened ahead,
// while the playing one still sounds, so that a share slow to open a file is
// not heard between the two. mpv opens it once the playing file has been read
// to its end, which the cache makes soon after it starts: the whole file is
// read ahead (a file larger than the cache only near its end), and little of
// what has been played is kept, as the player never seeks back.
constexpr Option kPlayerOptions[] = {
    {"prefetch-playlist", "yes", false},
    {"cache", "yes", false},
    {"demuxer-max-bytes", "64MiB", false},
    {"demuxer-max-back-bytes", "1MiB", false},
};

// A player that cannot be made safe is not started at all.
mpv_handle* makePlayer(MpvOutput output)
{
    mpv_handle* handle = mpv_create();
    if (!handle)
        return nullptr;
    bool safe = true;
    const auto require = [&](const char* name, const char* value) {
        safe = mpv_set_option_string(handle, name, value) >= 0 && safe;
    };
    for (const auto& option : kEmbeddedOptions) {
        if (option.required)
            require(option.name, option.value);
        else
            mpv_set_option_string(handle, option.name, option.value);
    }
    if (output != MpvOutput::Check) {
        for (const auto& option : kPlayerOptions)
            mpv_set_option_string(handle, option.name, option.value);
    }
    if (output == MpvOutput::Default) {
        require("audio-fallback-to-null", "yes");
    } else {
        require("ao", "null");
        require("ao-null-untimed", output == MpvOutput::NullTimed ? "no" : "yes");
        // As much as a sound server holds, rather than twice that.
        mpv_set_option_string(handle, "ao-null-buffer", "0.1");
    }
    if (output == MpvOutput::Check)
        require("end", "0.1"); // enough to find a file that opens but does not decode
    if (!safe || mpv_initialize(handle) < 0) {
        mpv_terminate_destroy(handle);
        return nullptr;
    }
    return handle;
}

int64_t entryIdOf(const mpv_node& result)
{
    if (result.format != MPV_FORMAT_NODE_MAP)
        return 0;
    const mpv_node_list* map = result.u.list;
    for (int i = 0; i < map->num; ++i) {
        if (std::string_view(map->keys[i]) == "playlist_entry_id"
            && map->values[i].format == MPV_FORMAT_INT64)
            return map->values[i].u.int64;
    }
    return 0;
}

MpvSession::End endOf(const mpv_event_end_file& end)
{
    switch (end.reason) {
    case MPV_END_FILE_REASON_EOF:
        return MpvSession::End::PlayedOut;
    case MPV_END_FILE_REASON_REDIRECT:
        return MpvSession::End::Redirected;
    case MPV_END_FILE_REASON_ERROR:
        return end.error == MPV_ERROR_LOADING_FAILED || end.error == MPV_ERROR_UNKNOWN_FORMAT
            ? MpvSession::End::Unopenable
            : MpvSession::End::Failed;
    default:
        return MpvSession::End::Stopped;
    }
}

// The sound output (observed only where a real one is wanted) became mpv's
// null output.
bool fellBackToNull(const mpv_event_property& property)
{
    return std::string_view(property.name) == "current-ao" && property.format == MPV_FORMAT_STRING
        && std::string_view(*static_cast<const char* const*>(property.data)) == "null";
}

} // namespace

MpvSession::MpvSession(MpvOutput output, Listener& listener)
    : listener_(listener)
    , handle_(makePlayer(output))
{
    if (!handle_)
        return;
    // Only where a real output is wanted: its fall back to the null output
    // means that the output has gone.
    if (output == MpvOutput::Default)
        mpv_observe_property(handle_, 0, "current-ao", MPV_FORMAT_STRING);
    mpv_set_wakeup_callback(handle_, &MpvSession::onWakeup, this);
    requestDrain(); // anything mpv said before the callback was in place
}

MpvSession::~MpvSession()
{
    if (!handle_)
        return;
    // Once this returns no wakeup can be running or start; queued drains die
    // with this object.
    mpv_set_wakeup_callback(handle_, nullptr, nullptr);
    // mpv's end waits for its threads, and one reading from a share that no
    // longer answers ends only when the share does (on FUSE, never before).
    // Past a moment the end is left to a thread of its own, which the end
    // of the process takes with it: the program never waits for a share.
    // Once one session's end has been left so, the share holds the others'
    // most likely too, and they wait only a little.
    static std::atomic<bool> oneLeft{false};
    const auto wait = oneLeft ? TerminateWait / 5 : TerminateWait;
    if (!endWithin([handle = handle_] { mpv_terminate_destroy(handle); }, wait))
        oneLeft = true;
}

// ThreadSanitizer does not follow libstdc++'s timed waits through to the
// end, so what the wait looks at is an atomic.
bool MpvSession::endWithin(std::function<void()> end, std::chrono::milliseconds wait)
{
    struct Ending {
        std::mutex mutex;
        std::condition_variable done;
        std::atomic<bool> ended{false};
    };
    auto ending = std::make_shared<Ending>();
    std::thread([ending, end = std::move(end)] {
        end();
        std::lock_guard lock(ending->mutex);
        ending->ended = true;
        ending->done.notify_all();
    }).detach();
    std::unique_lock lock(ending->mutex);
    return ending->done.wait_for(lock, wait, [&] { return ending->ended.load(); });
}

std::string MpvSession::localFile(const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return path;
    std::error_code error;
    const auto cwd = std::filesystem::current_path(error);
    if (error)
        return {};
    return cwd.string() + "/" + path;
}

int64_t MpvSession::loadReplacing(const std::string& path, double startSeconds)
{
    return load(path, "replace", startSeconds);
}

// mpv keeps the file it opened ahead for the next load of the same name,
// however long ago it opened it and whatever became of the file since, until
// it begins another entry. The files queued behind the playing one therefore
// go under spellings of their own ("/./" ahead of the path, once more for each
// earlier queueing of the same file since mpv last began an entry): the
// player's own loads, under the plain path, always open the file afresh, and
// a file queued again never takes over what was opened for an earlier turn,
// before it changed.
int64_t MpvSession::loadAfter(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return load(path, "append");
    std::string spelling = "/." + path;
    while (queuedSinceStart_.count(spelling) != 0)
        spelling.insert(0, "/.");
    queuedSinceStart_.insert(spelling);
    const int64_t entry = load(spelling, "append", 0.0, path);
    if (entry != 0)
        loaded_[entry] = path;
    return entry;
}

// The path goes to mpv as an argument of its own, never inside command text;
// so do the start and the level, as the file's own options (numbers we
// made). The level is a volume filter of the file's own: mpv builds each
// file's filters afresh as it begins it, and with gapless audio keeps the
// output open across the change.
int64_t MpvSession::load(const std::string& path, const char* mode, double startSeconds, const std::string& levelledAs)
{
    if (!handle_)
        return 0;
    std::string options;
    if (startSeconds > 0.0) {
        const long long ms = std::llround(startSeconds * 1000.0);
        char start[48];
        std::snprintf(start, sizeof start, "start=%lld.%03lld", ms / 1000, ms % 1000);
        options = start;
    }
    if (const std::optional<double> factor = level_ ? level_(levelledAs.empty() ? path : levelledAs) : std::nullopt) {
        char filter[64];
        std::snprintf(filter, sizeof filter, "lavfi=[volume=%.6f]", *factor);
        // %length% quotes the value, brackets and all, for mpv's option list.
        options += (options.empty() ? "af=%" : ",af=%") + std::to_string(std::strlen(filter)) + "%" + filter;
    }
    const char* args[] = {"loadfile", path.c_str(), mode, options.empty() ? nullptr : options.c_str(), nullptr};
    mpv_node result{};
    if (mpv_command_ret(handle_, args, &result) < 0)
        return 0;
    const int64_t entry = entryIdOf(result);
    mpv_free_node_contents(&result);
    if (entry > 0)
        loaded_[entry] = path;
    return entry > 0 ? entry : 0;
}

void MpvSession::removeEntry(int64_t entry)
{
    if (!handle_)
        return;
    int64_t count = 0;
    mpv_get_property(handle_, "playlist-count", MPV_FORMAT_INT64, &count);
    for (int64_t i = 0; i < count; ++i) {
        const std::string key = "playlist/" + std::to_string(i) + "/id";
        int64_t id = 0;
        if (mpv_get_property(handle_, key.c_str(), MPV_FORMAT_INT64, &id) < 0 || id != entry)
            continue;
        const std::string index = std::to_string(i);
        const char* args[] = {"playlist-remove", index.c_str(), nullptr};
        mpv_command(handle_, args);
        return;
    }
}

void MpvSession::keepOnlyCurrent()
{
    if (!handle_)
        return;
    const char* args[] = {"playlist-clear", nullptr};
    mpv_command(handle_, args);
}

void MpvSession::stop()
{
    if (!handle_)
        return;
    const char* args[] = {"stop", nullptr};
    mpv_command(handle_, args);
}

void MpvSession::setPaused(bool paused)
{
    if (!handle_)
        return;
    int flag = paused ? 1 : 0;
    mpv_set_property(handle_, "pause", MPV_FORMAT_FLAG, &flag);
}

// The position goes as a number we made, an argument of its own.
void MpvSession::seek(double seconds)
{
    if (!handle_)
        return;
    char at[48];
    std::snprintf(at, sizeof at, "%.3f", std::max(0.0, seconds));
    const char* args[] = {"seek", at, "absolute+exact", nullptr};
    mpv_command(handle_, args);
}

bool MpvSession::seekable() const
{
    int flag = 0;
    return handle_ && mpv_get_property(handle_, "seekable", MPV_FORMAT_FLAG, &flag) >= 0 && flag != 0;
}

void MpvSession::setVolume(double percent)
{
    if (!handle_)
        return;
    double value = std::clamp(percent, 0.0, 100.0);
    mpv_set_property(handle_, "volume", MPV_FORMAT_DOUBLE, &value);
}

void MpvSession::setGapless(bool on)
{
    if (!handle_ || gapless_ == on)
        return;
    gapless_ = on;
    mpv_set_property_string(handle_, "gapless-audio", on ? "weak" : "no");
}

double MpvSession::duration() const
{
    double seconds = -1.0;
    if (handle_)
        mpv_get_property(handle_, "duration", MPV_FORMAT_DOUBLE, &seconds);
    return seconds;
}

double MpvSession::position() const
{
    double seconds = -1.0;
    if (handle_)
        mpv_get_property(handle_, "time-pos", MPV_FORMAT_DOUBLE, &seconds);
    return seconds;
}

std::optional<double> MpvSession::audioPosition() const
{
    double seconds = 0.0;
    if (!handle_ || mpv_get_property(handle_, "audio-pts", MPV_FORMAT_DOUBLE, &seconds) < 0)
        return std::nullopt;
    return seconds;
}

void MpvSession::readTags(MMControl::NowPlaying& now) const
{
    if (!handle_)
        return;
    const auto tag = [this](const char* key) {
        char* value = mpv_get_property_string(handle_, (std::string("metadata/by-key/") + key).c_str());
        std::string text = value ? value : "";
        mpv_free(value);
        return text;
    };
    now.title = tag("title");
    now.artist = tag("artist");
    now.album = tag("album");
    double seconds = -1.0;
    if (mpv_get_property(handle_, "duration", MPV_FORMAT_DOUBLE, &seconds) >= 0 && seconds >= 0)
        now.lengthUs = static_cast<int64_t>(seconds * 1e6 + 0.5);
}

// Runs on an mpv thread: no mpv call may be made from here.
void MpvSession::onWakeup(void* self)
{
    static_cast<MpvSession*>(self)->requestDrain();
}

void MpvSession::requestDrain()
{
    if (!drainQueued_.exchange(true))
        QMetaObject::invokeMethod(this, &MpvSession::drainEvents, Qt::QueuedConnection);
}

void MpvSession::drainEvents()
{
    drainQueued_ = false;
    if (!handle_)
        return;
    // A listener may run the event loop, and with it a nested drain; each
    // event's data is copied out before the listener hears of it, because
    // the next mpv_wait_event frees it.
    for (;;) {
        const mpv_event* event = mpv_wait_event(handle_, 0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            return;
        case MPV_EVENT_START_FILE:
            onStart(static_cast<const mpv_event_start_file*>(event->data)->playlist_entry_id);
            break;
        case MPV_EVENT_END_FILE: {
            const auto end = *static_cast<const mpv_event_end_file*>(event->data);
            // Entry ids only grow; an older entry that never started never will.
            loaded_.erase(loaded_.begin(), loaded_.upper_bound(end.playlist_entry_id));
            listener_.entryEnded(end.playlist_entry_id, endOf(end));
            break;
        }
        case MPV_EVENT_PLAYBACK_RESTART:
            listener_.playbackRestarted();
            break;
        case MPV_EVENT_FILE_LOADED:
            listener_.fileLoaded();
            break;
        case MPV_EVENT_IDLE:
            listener_.idle();
            break;
        case MPV_EVENT_PROPERTY_CHANGE:
            if (fellBackToNull(*static_cast<const mpv_event_property*>(event->data)))
                listener_.outputLost();
            break;
        default:
            break;
        }
    }
}

void MpvSession::onStart(int64_t entry)
{
    startedEntry_ = entry;
    // Whatever mpv had opened ahead is now taken or thrown away.
    queuedSinceStart_.clear();
    const auto loaded = loaded_.find(entry);
    if (loaded != loaded_.end()) {
        const std::string path = loaded->second;
        listener_.entryStarted(entry, path);
        return;
    }
    // An entry this session never loaded: a file's content made mpv go to
    // another file. It is stopped at once.
    char* path = mpv_get_property_string(handle_, "path");
    const std::string stranger = path ? path : "?";
    mpv_free(path);
    stop();
    listener_.strangerStarted(stranger);
}

} // namespace orvane
