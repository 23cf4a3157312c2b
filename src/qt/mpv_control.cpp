#include "qt/mpv_control.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace orvane {

namespace {

// Longest wait for mpv to play out a file's last audio and say it is idle:
// far more than any output's buffer.
constexpr int PlayOutLimitMs = 2000;

// The most the window thread waits for a file's tags as mpv is told of it:
// they were asked for ahead, with the folder or as the file named to follow,
// and a local file's are read by then; a stalled share's are not waited for
// (the file then plays at the safe default level).
constexpr std::chrono::milliseconds kLevelWait(4);

} // namespace

MpvControl::MpvControl(Output output, QObject* parent)
    : QObject(parent)
    , session_(output, *this)
    , next_(
          session_, verdicts_, [this] { return currentEntry_ != 0 && !handingOver_; },
          [this] { return secondsLeft(); })
    , realTime_(output == Output::Default || output == Output::NullTimed)
    , keepOpenedPaths_(output == Output::NullTimed || output == Output::NullUntimed)
{
    handoverTimer_.setSingleShot(true);
    handoverTimer_.setTimerType(Qt::PreciseTimer);
    connect(&handoverTimer_, &QTimer::timeout, this, &MpvControl::onHandoverTimer);
    if (session_.ready() && output != Output::Check)
        next_.makeChecker();
    // Asked on the window thread as mpv is told of the file: decided with
    // what is known by then (the tags are read ahead, the folder is measured
    // ahead), never waiting for a share.
    session_.setLevel([this](const std::string& path) { return levelOf(path, kLevelWait); });
}

MpvControl::~MpvControl() = default;

// Moved while paused, mpv counts back from the place by what its output
// holds of it already; the file goes on from the place itself.
double MpvControl::position() const
{
    if (currentEntry_ == 0)
        return -1.0;
    return paused_ && heldAt_ ? *heldAt_ : session_.position();
}

// Once its audio has all gone to the output, the file is as good as over.
bool MpvControl::canSeek() const
{
    return currentEntry_ != 0 && !handingOver_ && session_.startedEntry() == currentEntry_ && session_.seekable();
}

// A file queued behind this one stays queued: mpv moves within the entry
// that plays and goes on to the next without a gap as before.
void MpvControl::seek(double seconds)
{
    if (!canSeek())
        return;
    session_.seek(seconds);
    heldAt_ = paused_ ? std::optional<double>(std::max(0.0, seconds)) : std::nullopt;
}

// The level is a loudness: mpv's volume scale is one already.
void MpvControl::setVolume(double level)
{
    session_.setVolume(std::clamp(level, 0.0, 1.0) * 100.0);
}

// How long the current file sounds on, as far as a clock can tell; nothing
// before mpv has begun it (what mpv said before that, such as being idle,
// is not about it).
std::optional<double> MpvControl::secondsLeft() const
{
    if (!realTime_ || currentEntry_ == 0 || session_.startedEntry() != currentEntry_)
        return std::nullopt;
    if (paused_)
        return std::numeric_limits<double>::infinity();
    const double length = session_.duration();
    const double at = session_.position();
    if (length < 0.0 || at < 0.0)
        return std::nullopt;
    return std::max(0.0, length - at);
}

void MpvControl::open()
{
    const std::string path = MpvSession::localFile(fileName());
    // One file at a time: opening another ends whatever was open before,
    // except the next file that already sounds where the last one ended.
    if (currentEntry_ == 0 && next_.startedAs(path))
        pendingCompletion_ = 0;
    else
        closeNow();
    openedPath_ = path;
    fileOpen_ = true;
}

void MpvControl::play()
{
    const double startAt = takeStartPosition();
    if (!fileOpen_)
        return;
    if (currentEntry_ == 0 && next_.startedAs(openedPath_)) {
        takeOverNext();
        return;
    }
    handingOver_ = false;
    handoverTimer_.stop();
    next_.drop(true); // the load below replaces mpv's whole play list
    currentEntry_ = 0;
    pendingCompletion_ = 0;
    paused_ = false;
    startAnnounced_ = false;
    played_ = {openedPath_, FileState::of(openedPath_), startAt};
    if (!session_.ready() || openedPath_.empty() || verdicts_.known(played_.path, played_.file) == false) {
        failLater();
        return;
    }
    // pause survives from file to file in mpv; a new play always runs.
    session_.setPaused(false);
    const int64_t entry = session_.loadReplacing(openedPath_, startAt);
    if (entry == 0) {
        session_.stop();
        failLater();
        return;
    }
    currentEntry_ = entry;
    NowPlaying now;
    now.serial = static_cast<uint64_t>(entry);
    now.path = openedPath_;
    setNowPlaying(std::move(now));
}

void MpvControl::togglePause()
{
    if (!session_.ready() || (currentEntry_ == 0 && next_.state() != NextFile::Started))
        return;
    paused_ = !paused_;
    heldAt_.reset();
    session_.setPaused(paused_);
}

// A "Close" that finds only the next file sounding may leave it sounding
// through a Stop and a new start (SoundingNextFile).
void MpvControl::close()
{
    if (currentEntry_ == 0 && !answeringDone_ && !handingOver_ && !sounding_.held()
        && next_.state() == NextFile::Started) {
        fileOpen_ = false;
        openedPath_.clear();
        pendingCompletion_ = 0;
        if (const uint64_t serial = sounding_.silenceLater()) {
            QMetaObject::invokeMethod(
                this,
                [this, serial] {
                    if (sounding_.silenceDue(serial))
                        closeNow();
                },
                Qt::QueuedConnection);
        }
        return;
    }
    closeNow();
}

void MpvControl::setNotify(bool notify)
{
    if (!notify)
        sounding_.newStart();
}

void MpvControl::closeNow()
{
    sounding_.clear();
    const bool wasPlaying = currentEntry_ != 0;
    currentEntry_ = 0;
    pendingCompletion_ = 0;
    fileOpen_ = false;
    openedPath_.clear();
    if (answeringDone_ && !wasPlaying) {
        // The answer to a completion: the next file, if one sounds, plays on.
        if (next_.state() != NextFile::Started)
            paused_ = false;
        return;
    }
    handingOver_ = false;
    handoverTimer_.stop();
    paused_ = false;
    const bool sounding = wasPlaying || next_.state() == NextFile::Started;
    next_.drop(sounding);
    if (sounding)
        session_.stop();
    setNowPlaying({});
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

void MpvControl::setNowPlaying(NowPlaying now)
{
    if (now == nowPlaying_)
        return;
    nowPlaying_ = std::move(now);
    raiseNowPlayingChanged();
}

void MpvControl::setNextFileName(const std::string& path)
{
    next_.name(path.empty() ? std::string{} : MpvSession::localFile(path));
    levelAhead(MpvSession::localFile(path));
}

void MpvControl::setFolderAhead(const std::vector<std::string>& paths)
{
    std::vector<std::string> local;
    local.reserve(paths.size());
    for (const std::string& path : paths)
        local.push_back(MpvSession::localFile(path));
    levelFolderAhead(local);
}

void MpvControl::takeOverNext()
{
    pendingCompletion_ = 0;
    sounding_.clear();
    const MpvNextFile::Taken taken = next_.take();
    if (keepOpenedPaths_)
        openedPaths_.push_back(taken.path);
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
    session_.readTags(now);
    setNowPlaying(std::move(now));
    if (taken.ended) {
        // Still sounding, but all its audio has gone out already.
        awaitPlayOut();
    } else {
        if (paused_) {
            session_.setPaused(false);
            paused_ = false;
        }
        session_.keepOnlyCurrent();
    }
    emit playbackStarted();
}

// --- what the session tells ------------------------------------------------------

void MpvControl::entryStarted(int64_t entry, const std::string& path)
{
    if (next_.entryStarted(entry))
        return;
    if (keepOpenedPaths_ && entry == currentEntry_)
        openedPaths_.push_back(path);
}

// A file's content made mpv go to another file, which the session stopped; the
// current play fails at its own end.
void MpvControl::strangerStarted(const std::string& path)
{
    if (keepOpenedPaths_)
        openedPaths_.push_back(path);
}

void MpvControl::entryEnded(int64_t entry, MpvSession::End end)
{
    if (next_.entryEnded(entry, end))
        return;
    if (entry == 0 || entry != currentEntry_)
        return;
    if (end == MpvSession::End::PlayedOut) {
        // Its last audio has gone to the output, but may not have been heard
        // yet: it completes once the next file sounds, or mpv, with nothing
        // more to play, has played out and gone idle.
        awaitPlayOut();
        return;
    }
    // Started at or past its end, a file mpv could open has nothing left to
    // give: mpv calls that an error, the player hears the file's end.
    const bool nothingLeft = played_.startedAt > 0.0 && end == MpvSession::End::Failed;
    // Only a file mpv could not open or make sense of counts as one that will
    // not play; one too short to give any sound fails too, but loads.
    if (!startAnnounced_ && (end == MpvSession::End::Redirected || end == MpvSession::End::Unopenable))
        verdicts_.note(played_.path, played_.file, false);
    currentEntry_ = 0;
    paused_ = false;
    setNowPlaying({});
    next_.drop(false);
    // A play list or similar file asks mpv to go on with what it names.
    if (end == MpvSession::End::Redirected)
        session_.stop();
    complete(nothingLeft ? NotifySuccessful : NotifyFailure);
}

void MpvControl::playbackRestarted()
{
    const int64_t started = session_.startedEntry();
    if (handingOver_ && next_.isEntry(started)) {
        if (next_.sounding())
            checkHandover();
        return;
    }
    if (currentEntry_ == 0 || started != currentEntry_ || startAnnounced_)
        return;
    startAnnounced_ = true;
    emit playbackStarted();
}

// The file's tags and length become known once mpv has loaded it; they are
// read for the current entry only.
void MpvControl::fileLoaded()
{
    if (currentEntry_ == 0 || session_.startedEntry() != currentEntry_)
        return;
    NowPlaying now = nowPlaying_;
    session_.readTags(now);
    setNowPlaying(std::move(now));
}

// mpv has nothing more to play: what was still to be heard has been played
// out.
void MpvControl::idle()
{
    next_.idle();
    if (handingOver_)
        finishHandover();
}

// The sound output has gone and mpv plays on into nothing: the music must
// neither run on unheard nor be passed over. mpv stops, which closes its
// output, so that the next "Play" looks for a sound output again; the file
// heard fails for want of a device, and the player keeps its place.
void MpvControl::outputLost()
{
    if (currentEntry_ == 0 && !handingOver_) {
        // No file of the player's: a next file that sounds goes too, and its
        // own "Play" will find out.
        closeNow();
        session_.stop();
        return;
    }
    closeNow();
    complete(NotifyNoDevice);
}

// --- the end of a file that has all gone to the output ---------------------------

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
    if (next_.sounding())
        checkHandover();
    else if (paused_)
        handoverTimer_.start(PlayOutLimitMs);
    else
        finishHandover();
}

// The current file has been heard to its end once the next file's first
// sample plays: the output's place in the next file, which counts back through
// what is still queued ahead of it, has reached zero.
void MpvControl::checkHandover()
{
    const std::optional<double> seconds = session_.audioPosition();
    if (!seconds) {
        handoverTimer_.start(5);
        return;
    }
    if (*seconds >= -0.0005) {
        finishHandover();
        return;
    }
    handoverTimer_.start(std::max(1, static_cast<int>(std::ceil(-*seconds * 1000.0))));
}

void MpvControl::finishHandover()
{
    handingOver_ = false;
    handoverTimer_.stop();
    currentEntry_ = 0;
    // Heard to its end; unless the next file sounds already, nothing does.
    if (next_.state() != NextFile::Started)
        setNowPlaying({});
    complete(NotifySuccessful);
}

} // namespace orvane
