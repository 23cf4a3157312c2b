#pragma once

#include "qt/file_verdicts.h"
#include "qt/mpv_session.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace orvane {

class MpvControl;

// The file named to follow the one that plays, from its name to its take-over.
// It is tried by a silent second player and, once seen to play, queued in the
// session's play list behind the playing file, so that mpv goes on to it
// without a gap: mpv drops what is still to be heard of a file when the file
// after it fails to load. A queued file that changes on disk before mpv gets
// to it leaves the queue again; the player opens it itself when its turn
// comes.
//
// mpv opens a queued file ahead, while the one before it plays. On a share
// slow to open files the trial and mpv's own open would add up to twice the
// share's wait, so while there is time (the playing file has more than a
// moment left, or is paused) the file is queued during its trial, and leaves
// the queue again should the trial fail or still be running when the playing
// file nears its end.
class MpvNextFile : public QObject {
    Q_OBJECT

public:
    enum class State {
        None,     // none named, or dropped
        Checking, // the second player is trying it (and it may be queued already)
        Queued,   // seen to play, in mpv's play list behind the playing file
        Started,  // mpv has gone on to it
    };

    // What the control takes over once mpv has gone on to the file.
    struct Taken {
        std::string path;
        int64_t entry = 0;
        bool ended = false; // all its audio has gone out already
        bool heard = false; // and mpv has played it out
    };

    // canFollow tells whether a file plays now that a next one may follow;
    // secondsLeft, how long the playing file will sound on (infinity while
    // paused), or nothing where that is not known in real time.
    MpvNextFile(MpvSession& session, FileVerdicts& verdicts, std::function<bool()> canFollow,
                std::function<std::optional<double>()> secondsLeft);
    ~MpvNextFile() override;

    // Starts the second player now: starting one takes long enough to hold
    // up the window, and a file may end meanwhile.
    void makeChecker();

    // Names the next file (a local file path, as given to mpv), or none.
    void name(const std::string& path);
    // Forgets the next file. Unless mpv is about to be stopped or replaced
    // anyway, it also leaves mpv's play list.
    void drop(bool stopping);
    Taken take();

    State state() const { return state_; }
    // In mpv's play list behind the playing file, which mpv may be opening
    // ahead (also during its trial).
    bool queued() const { return entry_ != 0 && state_ != State::Started; }
    bool startedAs(const std::string& path) const { return state_ == State::Started && path_ == path; }
    bool isEntry(int64_t entry) const { return entry != 0 && entry == entry_; }
    // mpv plays it, and has more of it to send to the output.
    bool sounding() const { return state_ == State::Started && !ended_; }

    // The session's events about the entry of the next file; false for any
    // other entry.
    bool entryStarted(int64_t entry);
    bool entryEnded(int64_t entry, MpvSession::End end);
    void idle();

private:
    MpvControl& checker();
    void onChecked(int notifyCode);
    void queue();
    void queueDuringCheck();
    void unqueue();
    void forget();
    void watch();
    void unwatch();
    void onTouched();

    MpvSession& session_;
    FileVerdicts& verdicts_;
    std::function<bool()> canFollow_;
    std::function<std::optional<double>()> secondsLeft_;

    State state_ = State::None;
    std::string path_;
    std::optional<FileState> file_; // as it was named
    int64_t entry_ = 0;             // once queued
    bool ended_ = false;
    bool heard_ = false;
    bool lateForEarly_ = false; // too near the playing file's end to queue during the trial
    QTimer checkTimer_;         // looks at the playing file's end during the trial

    std::unique_ptr<MpvControl> checker_;
    int inotify_ = -1;
    int watch_ = -1;
    std::unique_ptr<QSocketNotifier> watcher_;
};

} // namespace orvane
