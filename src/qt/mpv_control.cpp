#include "qt/mpv_control.h"

#include <mpv/client.h>

#include <QMetaObject>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
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
    // The next file can be queued only once the player has named it, which is
    // when the file before it has been heard to its end; mpv must not have
    // decoded all of a short file by then. mpv's own default (0.2 s, on top of
    // the sound server's) covers a whole 0.3 s file.
    {"audio-buffer", "0.1", false},
};

// Longest wait for mpv to play out a file's last audio and say it is idle:
// far more than any output's buffer.
constexpr int PlayOutLimitMs = 2000;

// Files whose verdict is kept; a longer list starts again from nothing.
constexpr std::size_t VerdictLimit = 4096;

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
    , keepOpenedPaths_(output == Output::NullTimed || output == Output::NullUntimed)
{
    handoverTimer_.setSingleShot(true);
    handoverTimer_.setTimerType(Qt::PreciseTimer);
    connect(&handoverTimer_, &QTimer::timeout, this, &MpvControl::onHandoverTimer);

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
        require("ao-null-untimed", output == Output::NullTimed ? "no" : "yes");
        // As much as a sound server holds, rather than twice that.
        mpv_set_option_string(handle, "ao-null-buffer", "0.1");
    }
    if (output == Output::Check)
        require("end", "0.1"); // enough to find a file that opens but does not decode
    if (!safe || mpv_initialize(handle) < 0) {
        mpv_terminate_destroy(handle);
        return;
    }
    handle_ = handle;
    mpv_set_wakeup_callback(handle_, &MpvControl::onWakeup, this);
    requestDrain(); // anything mpv said before the callback was in place
    // Made now, not at the first next-file check: starting a player takes
    // long enough to hold up the window, and a file may end meanwhile.
    if (output != Output::Check)
        checker();
}

MpvControl::~MpvControl()
{
    nextWatcher_.reset();
    if (inotify_ >= 0)
        ::close(inotify_);
    if (!handle_)
        return;
    // Once this returns no wakeup can be running or start; queued drains die
    // with this object.
    mpv_set_wakeup_callback(handle_, nullptr, nullptr);
    mpv_terminate_destroy(handle_);
}

double MpvControl::position() const
{
    double seconds = -1.0;
    if (handle_ && currentEntry_ != 0)
        mpv_get_property(handle_, "time-pos", MPV_FORMAT_DOUBLE, &seconds);
    return seconds;
}

MpvControl::NextFile MpvControl::nextFile() const
{
    return prepared_.state;
}

void MpvControl::open()
{
    const std::string path = localPath(fileName());
    // One file at a time: opening another ends whatever was open before,
    // except the next file that already sounds where the last one ended.
    if (takesOverPrepared(path))
        pendingCompletion_ = 0;
    else
        closeNow();
    openedPath_ = path;
    fileOpen_ = true;
}

void MpvControl::play()
{
    if (!fileOpen_)
        return;
    if (takesOverPrepared(openedPath_)) {
        takeOverPrepared();
        return;
    }
    handingOver_ = false;
    handoverTimer_.stop();
    dropPrepared(true); // the load below replaces mpv's whole play list
    currentEntry_ = 0;
    pendingCompletion_ = 0;
    paused_ = false;
    startAnnounced_ = false;
    played_ = {openedPath_, fileStateOf(openedPath_)};
    if (!handle_ || openedPath_.empty() || knownVerdict(played_.path, played_.file) == false) {
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
    if (!handle_ || (currentEntry_ == 0 && prepared_.state != NextFile::Started))
        return;
    paused_ = !paused_;
    int flag = paused_ ? 1 : 0;
    mpv_set_property(handle_, "pause", MPV_FORMAT_FLAG, &flag);
}

// Tree repeat starts over with a Stop and a new start, each of which sends
// "Close", while the first file of the new pass may already sound where the
// tree's last file ended. A "Close" that finds only that file sounding
// therefore silences it once the window thread is back in its event loop,
// unless the open-mode flags of a new start come first: then it sounds on
// until the next "Open", which takes it over if it names it.
void MpvControl::close()
{
    if (currentEntry_ == 0 && !answeringDone_ && !handingOver_ && !holdingNext_
        && prepared_.state == NextFile::Started) {
        fileOpen_ = false;
        openedPath_.clear();
        pendingCompletion_ = 0;
        if (stopSerial_ == 0)
            stopLater();
        return;
    }
    closeNow();
}

void MpvControl::setNotify(bool notify)
{
    if (!notify && stopSerial_ != 0) {
        stopSerial_ = 0;
        holdingNext_ = true;
    }
}

void MpvControl::stopLater()
{
    const uint64_t serial = ++completionSerial_;
    stopSerial_ = serial;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (stopSerial_ == serial)
                closeNow();
        },
        Qt::QueuedConnection);
}

void MpvControl::closeNow()
{
    stopSerial_ = 0;
    holdingNext_ = false;
    const bool wasPlaying = currentEntry_ != 0;
    currentEntry_ = 0;
    pendingCompletion_ = 0;
    fileOpen_ = false;
    openedPath_.clear();
    if (answeringDone_ && !wasPlaying) {
        // The answer to a completion: the next file, if one sounds, plays on.
        if (prepared_.state != NextFile::Started)
            paused_ = false;
        return;
    }
    handingOver_ = false;
    handoverTimer_.stop();
    paused_ = false;
    const bool sounding = wasPlaying || prepared_.state == NextFile::Started;
    dropPrepared(sounding);
    if (sounding)
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
    completeLater(NotifyFailure);
}

void MpvControl::completeLater(int notifyCode)
{
    const uint64_t serial = ++completionSerial_;
    pendingCompletion_ = serial;
    QMetaObject::invokeMethod(
        this,
        [this, serial, notifyCode] {
            if (pendingCompletion_ != serial)
                return;
            pendingCompletion_ = 0;
            complete(notifyCode);
        },
        Qt::QueuedConnection);
}

// The "Close" with which the player answers a completion is told apart from
// any other: it must not silence the next file that already sounds.
void MpvControl::complete(int notifyCode)
{
    const bool outer = answeringDone_;
    answeringDone_ = true;
    raiseDone(notifyCode);
    answeringDone_ = outer;
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
            onEndFile(end->playlist_entry_id, end->reason, end->error);
            break;
        }
        case MPV_EVENT_PLAYBACK_RESTART:
            onPlaybackRestart();
            break;
        case MPV_EVENT_FILE_LOADED:
            onFileLoaded();
            break;
        case MPV_EVENT_IDLE:
            onIdle();
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
        if (entryId == prepared_.entry) {
            prepared_.state = NextFile::Started;
            unwatchNext(); // mpv has it open: what happens to the file now changes nothing
        }
        else if (keepOpenedPaths_ && entryId == currentEntry_)
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

void MpvControl::onEndFile(int64_t entryId, int reason, int error)
{
    // Entry ids only grow; an older entry that never started never will.
    loadedEntries_.erase(loadedEntries_.begin(), loadedEntries_.upper_bound(entryId));
    if (entryId != 0 && entryId == prepared_.entry) {
        onPreparedEnded(reason);
        return;
    }
    if (entryId == 0 || entryId != currentEntry_)
        return;
    if (reason == MPV_END_FILE_REASON_EOF) {
        // Its last audio has gone to the output, but may not have been heard
        // yet: it completes once the next file sounds, or mpv, with nothing
        // more to play, has played out and gone idle.
        awaitPlayOut();
        return;
    }
    // Only a file mpv could not open or make sense of counts as one that will
    // not play; one too short to give any sound fails too, but loads.
    if (!startAnnounced_
        && (reason == MPV_END_FILE_REASON_REDIRECT
            || (reason == MPV_END_FILE_REASON_ERROR
                && (error == MPV_ERROR_LOADING_FAILED || error == MPV_ERROR_UNKNOWN_FORMAT))))
        noteVerdict(played_.path, played_.file, false);
    currentEntry_ = 0;
    paused_ = false;
    setNowPlaying({});
    dropPrepared(false);
    // A play list or similar file asks mpv to go on with what it names.
    if (reason == MPV_END_FILE_REASON_REDIRECT)
        stopPlayer();
    complete(NotifyFailure);
}

void MpvControl::onPlaybackRestart()
{
    if (handingOver_ && prepared_.entry != 0 && startedEntry_ == prepared_.entry) {
        if (prepared_.state == NextFile::Started && !prepared_.ended)
            checkHandover();
        return;
    }
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
    readTags(now);
    setNowPlaying(std::move(now));
}

// The tags and length of the file mpv plays now.
void MpvControl::readTags(NowPlaying& now) const
{
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

void MpvControl::setNowPlaying(NowPlaying now)
{
    if (now == nowPlaying_)
        return;
    nowPlaying_ = std::move(now);
    raiseNowPlayingChanged();
}

// mpv has nothing more to play: a next file queued too late will not start,
// and what was still to be heard has been played out.
void MpvControl::onIdle()
{
    if (prepared_.state == NextFile::Queued)
        dropPrepared(false);
    if (prepared_.ended)
        prepared_.heard = true;
    if (handingOver_)
        finishHandover();
}

// --- the next file ------------------------------------------------------------

void MpvControl::setNextFileName(const std::string& path)
{
    const std::string next = path.empty() ? std::string{} : localPath(path);
    if (prepared_.state != NextFile::None && prepared_.path == next)
        return;
    dropPrepared(false);
    // Only behind a file that plays, and not once its end is under way.
    if (next.empty() || !handle_ || currentEntry_ == 0 || handingOver_)
        return;
    const std::optional<FileState> file = fileStateOf(next);
    const std::optional<bool> plays = knownVerdict(next, file);
    if (plays == false)
        return;
    prepared_.path = next;
    prepared_.file = file;
    watchNext();
    if (plays == true) {
        // Seen to play before, and not changed since.
        queuePrepared();
        return;
    }
    prepared_.state = NextFile::Checking;
    MpvControl& check = checker();
    check.setFileName(next);
    check.setCommand("Open");
    check.setCommand("Play");
}

// mpv drops what is still to be heard of a file when the file after it fails
// to load, so only a file that has been seen to play is queued.
MpvControl& MpvControl::checker()
{
    if (!checker_) {
        checker_ = std::make_unique<MpvControl>(Output::Check);
        checker_->setDoneHandler([this](int code) { onChecked(code); });
    }
    return *checker_;
}

void MpvControl::onChecked(int notifyCode)
{
    checker_->setCommand("Close");
    if (prepared_.state != NextFile::Checking)
        return;
    // The checker keeps its own verdicts by the same rule as this control.
    if (notifyCode == NotifySuccessful || checker_->knownVerdict(prepared_.path, prepared_.file) == false)
        noteVerdict(prepared_.path, prepared_.file, notifyCode == NotifySuccessful);
    if (notifyCode != NotifySuccessful || currentEntry_ == 0 || handingOver_) {
        forgetPrepared();
        return;
    }
    queuePrepared();
}

void MpvControl::queuePrepared()
{
    setGapless(true);
    const char* args[] = {"loadfile", prepared_.path.c_str(), "append", nullptr};
    mpv_node result{};
    int64_t entry = 0;
    if (mpv_command_ret(handle_, args, &result) >= 0) {
        entry = entryIdOf(result);
        mpv_free_node_contents(&result);
    }
    if (entry <= 0) {
        forgetPrepared();
        setGapless(false);
        return;
    }
    prepared_.state = NextFile::Queued;
    prepared_.entry = entry;
    loadedEntries_[entry] = prepared_.path;
}

bool MpvControl::takesOverPrepared(const std::string& path) const
{
    return currentEntry_ == 0 && prepared_.state == NextFile::Started && prepared_.path == path;
}

void MpvControl::takeOverPrepared()
{
    pendingCompletion_ = 0;
    stopSerial_ = 0;
    holdingNext_ = false;
    if (keepOpenedPaths_)
        openedPaths_.push_back(prepared_.path);
    const Prepared taken = prepared_;
    forgetPrepared();
    setGapless(false);
    if (taken.heard) {
        // Played to its end before the player got to it.
        completeLater(NotifySuccessful);
        return;
    }
    currentEntry_ = taken.entry;
    startAnnounced_ = true;
    // mpv plays it already, so its tags are known.
    NowPlaying now;
    now.serial = static_cast<uint64_t>(taken.entry);
    now.path = taken.path;
    readTags(now);
    setNowPlaying(std::move(now));
    if (taken.ended) {
        // Still sounding, but all its audio has gone out already.
        awaitPlayOut();
    } else {
        if (paused_) {
            int no = 0;
            mpv_set_property(handle_, "pause", MPV_FORMAT_FLAG, &no);
            paused_ = false;
        }
        // Only the taken file stays in mpv's play list.
        const char* args[] = {"playlist-clear", nullptr};
        mpv_command(handle_, args);
    }
    emit playbackStarted();
}

void MpvControl::onPreparedEnded(int reason)
{
    if (reason == MPV_END_FILE_REASON_EOF && prepared_.state == NextFile::Started) {
        prepared_.ended = true;
        return;
    }
    // It did not play after all; the player opens it itself when its turn
    // comes. A play list must not lead mpv on.
    if (reason == MPV_END_FILE_REASON_REDIRECT)
        stopPlayer();
    forgetPrepared();
    setGapless(false);
}

// Forgets the next file. Unless mpv is about to be stopped or replaced
// anyway, it also leaves mpv's play list.
void MpvControl::dropPrepared(bool stopping)
{
    switch (prepared_.state) {
    case NextFile::None:
        return;
    case NextFile::Checking:
        if (checker_)
            checker_->setCommand("Close");
        break;
    case NextFile::Queued:
    case NextFile::Started:
        if (!stopping && !prepared_.ended)
            removeEntry(prepared_.entry);
        break;
    }
    forgetPrepared();
    setGapless(false);
}

void MpvControl::removeEntry(int64_t entryId)
{
    int64_t count = 0;
    mpv_get_property(handle_, "playlist-count", MPV_FORMAT_INT64, &count);
    for (int64_t i = 0; i < count; ++i) {
        const std::string key = "playlist/" + std::to_string(i) + "/id";
        int64_t id = 0;
        if (mpv_get_property(handle_, key.c_str(), MPV_FORMAT_INT64, &id) < 0 || id != entryId)
            continue;
        const std::string index = std::to_string(i);
        const char* args[] = {"playlist-remove", index.c_str(), nullptr};
        mpv_command(handle_, args);
        return;
    }
}

// With gapless audio mpv keeps its output open from one file to the next, but
// reports a file's end when its last audio was queued rather than heard; so
// it is on only while a next file is queued.
void MpvControl::setGapless(bool on)
{
    if (!handle_ || gapless_ == on)
        return;
    gapless_ = on;
    mpv_set_property_string(handle_, "gapless-audio", on ? "weak" : "no");
}

void MpvControl::awaitPlayOut()
{
    handingOver_ = true;
    handoverTimer_.start(PlayOutLimitMs);
}

// Without a next file that sounds, mpv says that it has played out by going
// idle; should it not (it always has), the completion comes after a while all
// the same, and no sequence hangs.
void MpvControl::onHandoverTimer()
{
    if (!handingOver_)
        return;
    if (prepared_.state == NextFile::Started && !prepared_.ended)
        checkHandover();
    else if (paused_)
        handoverTimer_.start(PlayOutLimitMs);
    else
        finishHandover();
}

// The current file has been heard to its end once the next file's first
// sample plays: the next file's audio position, which counts back through
// what is still queued ahead of it, has reached zero.
void MpvControl::checkHandover()
{
    double seconds = 0.0;
    if (mpv_get_property(handle_, "audio-pts", MPV_FORMAT_DOUBLE, &seconds) < 0) {
        handoverTimer_.start(5);
        return;
    }
    if (seconds >= -0.0005) {
        finishHandover();
        return;
    }
    handoverTimer_.start(std::max(1, static_cast<int>(std::ceil(-seconds * 1000.0))));
}

void MpvControl::finishHandover()
{
    handingOver_ = false;
    handoverTimer_.stop();
    currentEntry_ = 0;
    // Heard to its end; unless the next file sounds already, nothing does.
    if (prepared_.state != NextFile::Started)
        setNowPlaying({});
    complete(NotifySuccessful);
}

void MpvControl::forgetPrepared()
{
    prepared_ = {};
    unwatchNext();
}

// mpv drops what is still to be heard of a file when the file queued after it
// fails to load, so a queued file that changes before mpv gets to it leaves
// the queue; the player opens it itself when its turn comes.
void MpvControl::watchNext()
{
    unwatchNext();
    if (inotify_ < 0) {
        inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0)
            return;
        nextWatcher_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
        connect(nextWatcher_.get(), &QSocketNotifier::activated, this, &MpvControl::onNextFileTouched);
    }
    watch_ = inotify_add_watch(inotify_, prepared_.path.c_str(),
                               IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
}

void MpvControl::unwatchNext()
{
    if (watch_ >= 0)
        inotify_rm_watch(inotify_, watch_);
    watch_ = -1;
}

void MpvControl::onNextFileTouched()
{
    alignas(inotify_event) char buffer[4096];
    bool touched = false;
    for (;;) {
        const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            touched = touched || (watch_ >= 0 && event->wd == watch_);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (touched && (prepared_.state == NextFile::Checking || prepared_.state == NextFile::Queued))
        dropPrepared(false);
}

// --- what is known of files ------------------------------------------------------

std::optional<MpvControl::FileState> MpvControl::fileStateOf(const std::string& path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileState{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                     static_cast<int64_t>(info.st_size), info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                     info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
}

// Whether the file was seen to play or to fail as it is now; nothing when it
// was not, or has changed since (any write changes its change time).
std::optional<bool> MpvControl::knownVerdict(const std::string& path, const std::optional<FileState>& file) const
{
    const auto found = verdicts_.find(path);
    if (!file || found == verdicts_.end() || !(found->second.file == *file))
        return std::nullopt;
    return found->second.plays;
}

void MpvControl::noteVerdict(const std::string& path, const std::optional<FileState>& file, bool plays)
{
    if (!file)
        return;
    if (verdicts_.size() >= VerdictLimit)
        verdicts_.clear();
    verdicts_[path] = {*file, plays};
}

} // namespace orvane
