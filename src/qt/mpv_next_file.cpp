#include "qt/mpv_next_file.h"

#include "qt/mpv_control.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <utility>

namespace orvane {

namespace {

// A file is queued during its trial only while the playing file has this long
// left; it leaves the queue when the trial is still running with less than
// QueuedTrialEndSeconds left, well before mpv, whose output holds a fraction
// of a second, goes on to it.
constexpr double EarlyQueueSeconds = 1.0;
constexpr double QueuedTrialEndSeconds = 0.5;
constexpr int TrialLookMs = 100;

} // namespace

MpvNextFile::MpvNextFile(MpvSession& session, FileVerdicts& verdicts, std::function<bool()> canFollow,
                         std::function<std::optional<double>()> secondsLeft)
    : session_(session)
    , verdicts_(verdicts)
    , canFollow_(std::move(canFollow))
    , secondsLeft_(std::move(secondsLeft))
{
    checkTimer_.setInterval(TrialLookMs);
    connect(&checkTimer_, &QTimer::timeout, this, &MpvNextFile::queueDuringCheck);
}

MpvNextFile::~MpvNextFile()
{
    watcher_.reset();
    if (inotify_ >= 0)
        ::close(inotify_);
}

void MpvNextFile::makeChecker()
{
    checker();
}

MpvControl& MpvNextFile::checker()
{
    if (!checker_) {
        checker_ = std::make_unique<MpvControl>(MpvOutput::Check);
        checker_->setDoneHandler([this](int code) { onChecked(code); });
    }
    return *checker_;
}

void MpvNextFile::name(const std::string& path)
{
    if (state_ != State::None && path_ == path)
        return;
    drop(false);
    // Only behind a file that plays, and not once its end is under way.
    if (path.empty() || !session_.ready() || !canFollow_())
        return;
    const std::optional<FileState> file = FileState::of(path);
    const std::optional<bool> plays = verdicts_.known(path, file);
    if (plays == false)
        return;
    path_ = path;
    file_ = file;
    watch();
    if (plays == true) {
        // Seen to play before, and not changed since.
        queue();
        if (entry_ != 0)
            state_ = State::Queued;
        return;
    }
    state_ = State::Checking;
    MpvControl& check = checker();
    check.setFileName(path);
    check.setCommand("Open");
    check.setCommand("Play");
    if (state_ == State::Checking) {
        queueDuringCheck();
        checkTimer_.start();
    }
}

// While the trial runs: queued as soon as the playing file's length is known
// to leave time enough, and out of the queue again once its end comes near.
void MpvNextFile::queueDuringCheck()
{
    // Once the playing file's end is under way mpv may be going on to the
    // queued file already: it stays.
    if (state_ != State::Checking || !canFollow_())
        return;
    const std::optional<double> left = secondsLeft_();
    if (!left)
        return;
    if (entry_ == 0) {
        if (lateForEarly_)
            return;
        if (*left > EarlyQueueSeconds)
            queue();
        else
            lateForEarly_ = true;
        return;
    }
    if (*left < QueuedTrialEndSeconds) {
        lateForEarly_ = true;
        unqueue();
    }
}

void MpvNextFile::unqueue()
{
    if (entry_ == 0)
        return;
    session_.removeEntry(entry_);
    entry_ = 0;
    session_.setGapless(false);
}

void MpvNextFile::onChecked(int notifyCode)
{
    checker_->setCommand("Close");
    if (state_ != State::Checking)
        return;
    checkTimer_.stop();
    const bool plays = notifyCode == MMControl::NotifySuccessful;
    // The checker keeps its own verdicts by the same rule as the control.
    if (plays || checker_->verdicts().known(path_, file_) == false)
        verdicts_.note(path_, file_, plays);
    if (!plays || !canFollow_()) {
        drop(false);
        return;
    }
    if (entry_ == 0)
        queue();
    if (state_ == State::Checking)
        state_ = State::Queued; // during the trial, or now
}

void MpvNextFile::queue()
{
    session_.setGapless(true);
    const int64_t entry = session_.loadAfter(path_);
    if (entry == 0) {
        forget();
        session_.setGapless(false);
        return;
    }
    entry_ = entry;
}

MpvNextFile::Taken MpvNextFile::take()
{
    Taken taken{path_, entry_, ended_, heard_};
    forget();
    session_.setGapless(false);
    return taken;
}

void MpvNextFile::drop(bool stopping)
{
    if (state_ == State::None)
        return;
    if (state_ == State::Checking && checker_)
        checker_->setCommand("Close");
    if (entry_ != 0 && !stopping && !ended_)
        session_.removeEntry(entry_);
    forget();
    session_.setGapless(false);
}

bool MpvNextFile::entryStarted(int64_t entry)
{
    if (!isEntry(entry))
        return false;
    // mpv may go on to it before its trial is over: mpv's own open tells now.
    if (state_ == State::Checking && checker_)
        checker_->setCommand("Close");
    checkTimer_.stop();
    state_ = State::Started;
    unwatch(); // mpv has it open: what happens to the file now changes nothing
    return true;
}

bool MpvNextFile::entryEnded(int64_t entry, MpvSession::End end)
{
    if (!isEntry(entry))
        return false;
    if (end == MpvSession::End::PlayedOut && state_ == State::Started) {
        ended_ = true;
        return true;
    }
    // It did not play after all; the player opens it itself when its turn
    // comes. A play list must not lead mpv on.
    if (end == MpvSession::End::Redirected)
        session_.stop();
    forget();
    session_.setGapless(false);
    return true;
}

// A next file queued too late will not start, and one that has ended has
// now been heard to its end.
void MpvNextFile::idle()
{
    if (entry_ != 0 && state_ != State::Started)
        drop(false);
    if (ended_)
        heard_ = true;
}

void MpvNextFile::forget()
{
    state_ = State::None;
    path_.clear();
    file_.reset();
    entry_ = 0;
    ended_ = false;
    heard_ = false;
    lateForEarly_ = false;
    checkTimer_.stop();
    unwatch();
}

void MpvNextFile::watch()
{
    unwatch();
    if (inotify_ < 0) {
        inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0)
            return;
        watcher_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
        connect(watcher_.get(), &QSocketNotifier::activated, this, &MpvNextFile::onTouched);
    }
    watch_ = inotify_add_watch(inotify_, path_.c_str(), IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
}

void MpvNextFile::unwatch()
{
    if (watch_ >= 0)
        inotify_rm_watch(inotify_, watch_);
    watch_ = -1;
}

void MpvNextFile::onTouched()
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
    if (touched && (state_ == State::Checking || state_ == State::Queued))
        drop(false);
}

} // namespace orvane
