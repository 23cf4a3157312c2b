#include "qt/mpv_control.h"

#include <mpv/client.h>

#include <QMetaObject>

#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

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
};

bool isAbsolute(const std::string& path)
{
#ifdef _WIN32
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':'
        && (path[2] == '\\' || path[2] == '/'))
        return true;
    return path.rfind("\\\\", 0) == 0;
#else
    return !path.empty() && path.front() == '/';
#endif
}

// mpv reads "-" as standard input and "name://..." as a URL; an absolute
// path is always a plain local file to it.
std::string localPath(const std::string& path)
{
    if (path.empty() || isAbsolute(path))
        return path;
    std::error_code error;
    const auto cwd = std::filesystem::current_path(error);
    if (error)
        return {};
#ifdef _WIN32
    const auto u8 = cwd.u8string();
    std::string base(u8.begin(), u8.end());
    return base + "\\" + path;
#else
    return cwd.string() + "/" + path;
#endif
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

} // namespace

MpvControl::MpvControl(Output output, QObject* parent)
    : QObject(parent)
    , keepOpenedPaths_(output != Output::Default)
{
    mpv_handle* handle = mpv_create();
    if (!handle)
        return;
    // A player that cannot be made safe stays silent: every "Play" fails.
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
    if (output == Output::Default) {
        require("audio-fallback-to-null", "yes");
    } else {
        require("ao", "null");
        require("ao-null-untimed", output == Output::NullUntimed ? "yes" : "no");
    }
    if (!safe || mpv_initialize(handle) < 0) {
        mpv_terminate_destroy(handle);
        return;
    }
    handle_ = handle;
    mpv_set_wakeup_callback(handle_, &MpvControl::onWakeup, this);
    requestDrain(); // anything mpv said before the callback was in place
}

MpvControl::~MpvControl()
{
    if (!handle_)
        return;
    // Once this returns no wakeup can be running or start; queued drains die
    // with this object.
    mpv_set_wakeup_callback(handle_, nullptr, nullptr);
    mpv_terminate_destroy(handle_);
}

void MpvControl::setCommand(const std::string& command)
{
    if (command == "Open")
        open();
    else if (command == "Play")
        play();
    else if (command == "pause")
        togglePause();
    else if (command == "Close")
        close();
}

void MpvControl::setFileName(const std::string& path)
{
    fileName_ = path;
}

double MpvControl::position() const
{
    double seconds = -1.0;
    if (handle_ && currentEntry_ != 0)
        mpv_get_property(handle_, "time-pos", MPV_FORMAT_DOUBLE, &seconds);
    return seconds;
}

void MpvControl::open()
{
    // One file at a time: opening another ends whatever was open before.
    close();
    openedPath_ = localPath(fileName_);
    fileOpen_ = true;
}

void MpvControl::play()
{
    if (!fileOpen_)
        return;
    currentEntry_ = 0;
    pendingFailure_ = 0;
    paused_ = false;
    startAnnounced_ = false;
    if (!handle_ || openedPath_.empty()) {
        failLater();
        return;
    }
    // pause survives from file to file in mpv; a new play always runs.
    int no = 0;
    mpv_set_property(handle_, "pause", MPV_FORMAT_FLAG, &no);

    const char* args[] = {"loadfile", openedPath_.c_str(), "replace", nullptr};
    mpv_node result{};
    if (mpv_command_ret(handle_, args, &result) < 0) {
        failLater();
        return;
    }
    const int64_t entry = entryIdOf(result);
    mpv_free_node_contents(&result);
    if (entry <= 0) {
        stopPlayer();
        failLater();
        return;
    }
    currentEntry_ = entry;
    loadedEntries_[entry] = openedPath_;
    NowPlaying now;
    now.serial = static_cast<uint64_t>(entry);
    now.path = openedPath_;
    setNowPlaying(std::move(now));
}

void MpvControl::togglePause()
{
    if (!handle_ || currentEntry_ == 0)
        return;
    paused_ = !paused_;
    int flag = paused_ ? 1 : 0;
    mpv_set_property(handle_, "pause", MPV_FORMAT_FLAG, &flag);
}

void MpvControl::close()
{
    const bool wasPlaying = currentEntry_ != 0;
    currentEntry_ = 0;
    pendingFailure_ = 0;
    paused_ = false;
    fileOpen_ = false;
    openedPath_.clear();
    if (wasPlaying)
        stopPlayer();
    setNowPlaying({});
}

void MpvControl::stopPlayer()
{
    if (!handle_)
        return;
    const char* args[] = {"stop", nullptr};
    mpv_command(handle_, args);
}

// A "Play" that mpv refused still owes the player its completion, but not
// from inside the command that started it.
void MpvControl::failLater()
{
    const uint64_t serial = ++failureSerial_;
    pendingFailure_ = serial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (pendingFailure_ != serial)
                return;
            pendingFailure_ = 0;
            raiseDone(NotifyFailure);
        },
        Qt::QueuedConnection);
}

// Runs on an mpv thread: no mpv call may be made from here.
void MpvControl::onWakeup(void* self)
{
    static_cast<MpvControl*>(self)->requestDrain();
}

void MpvControl::requestDrain()
{
    if (!drainQueued_.exchange(true))
        QMetaObject::invokeMethod(this, &MpvControl::drainEvents, Qt::QueuedConnection);
}

void MpvControl::drainEvents()
{
    drainQueued_ = false;
    if (!handle_)
        return;
    // The done handler may run the event loop, and with it a nested drain;
    // each event's data is copied out before anything is raised, because the
    // next mpv_wait_event frees it.
    for (;;) {
        const mpv_event* event = mpv_wait_event(handle_, 0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            return;
        case MPV_EVENT_START_FILE:
            onStartFile(static_cast<const mpv_event_start_file*>(event->data)->playlist_entry_id);
            break;
        case MPV_EVENT_END_FILE: {
            const auto* end = static_cast<const mpv_event_end_file*>(event->data);
            onEndFile(end->playlist_entry_id, end->reason);
            break;
        }
        case MPV_EVENT_PLAYBACK_RESTART:
            onPlaybackRestart();
            break;
        case MPV_EVENT_FILE_LOADED:
            onFileLoaded();
            break;
        default:
            break;
        }
    }
}

void MpvControl::onStartFile(int64_t entryId)
{
    startedEntry_ = entryId;
    const auto loaded = loadedEntries_.find(entryId);
    if (loaded != loadedEntries_.end()) {
        if (keepOpenedPaths_)
            openedPaths_.push_back(loaded->second);
        return;
    }
    // An entry this control never loaded: a file's content made mpv go to
    // another file. Note what it was and stop it; the current play fails at
    // its own end.
    if (keepOpenedPaths_) {
        char* path = mpv_get_property_string(handle_, "path");
        openedPaths_.push_back(path ? path : "?");
        mpv_free(path);
    }
    stopPlayer();
}

void MpvControl::onEndFile(int64_t entryId, int reason)
{
    // Entry ids only grow; an older entry that never started never will.
    loadedEntries_.erase(loadedEntries_.begin(), loadedEntries_.upper_bound(entryId));
    if (entryId == 0 || entryId != currentEntry_)
        return;
    currentEntry_ = 0;
    paused_ = false;
    setNowPlaying({});
    if (reason == MPV_END_FILE_REASON_EOF) {
        raiseDone(NotifySuccessful);
        return;
    }
    // A play list or similar file asks mpv to go on with what it names.
    if (reason == MPV_END_FILE_REASON_REDIRECT)
        stopPlayer();
    raiseDone(NotifyFailure);
}

void MpvControl::onPlaybackRestart()
{
    if (currentEntry_ == 0 || startedEntry_ != currentEntry_ || startAnnounced_)
        return;
    startAnnounced_ = true;
    emit playbackStarted();
}

// The file's tags and length become known once mpv has loaded it; they are
// read for the current entry only.
void MpvControl::onFileLoaded()
{
    if (currentEntry_ == 0 || startedEntry_ != currentEntry_)
        return;
    NowPlaying now = nowPlaying_;
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
    setNowPlaying(std::move(now));
}

void MpvControl::setNowPlaying(NowPlaying now)
{
    if (now == nowPlaying_)
        return;
    nowPlaying_ = std::move(now);
    raiseNowPlayingChanged();
}

} // namespace orvane
