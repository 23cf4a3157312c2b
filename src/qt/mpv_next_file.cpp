#include "qt/mpv_next_file.h"

#include "qt/mpv_control.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <utility>

namespace orvane {

MpvNextFile::MpvNextFile(MpvSession& session, FileVerdicts& verdicts, std::function<bool()> canFollow)
    : session_(session)
    , verdicts_(verdicts)
    , canFollow_(std::move(canFollow))
{
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
        return;
    }
    state_ = State::Checking;
    MpvControl& check = checker();
    check.setFileName(path);
    check.setCommand("Open");
    check.setCommand("Play");
}

void MpvNextFile::onChecked(int notifyCode)
{
    checker_->setCommand("Close");
    if (state_ != State::Checking)
        return;
    const bool plays = notifyCode == MMControl::NotifySuccessful;
    // The checker keeps its own verdicts by the same rule as the control.
    if (plays || checker_->verdicts().known(path_, file_) == false)
        verdicts_.note(path_, file_, plays);
    if (!plays || !canFollow_()) {
        forget();
        return;
    }
    queue();
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
    state_ = State::Queued;
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
    switch (state_) {
    case State::None:
        return;
    case State::Checking:
        if (checker_)
            checker_->setCommand("Close");
        break;
    case State::Queued:
    case State::Started:
        if (!stopping && !ended_)
            session_.removeEntry(entry_);
        break;
    }
    forget();
    session_.setGapless(false);
}

bool MpvNextFile::entryStarted(int64_t entry)
{
    if (!isEntry(entry))
        return false;
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
    if (state_ == State::Queued)
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
