#pragma once

#include "media/mm_control.h"
#include "media/sounding_next.h"
#include "qt/file_verdicts.h"
#include "qt/mpv_next_file.h"
#include "qt/mpv_session.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The media control on libmpv. mpv runs its own threads, but everything the
// player sees happens on the thread that owns this object: the session hands
// mpv's events over on that thread.
//
// "Play" loads the file named by the last "Open" and starts it from its
// beginning, unpaused. Each load gets an mpv playlist entry id; only the end
// of the entry that is current (not closed, not replaced) can raise the
// completion, so an end that was already queued when "Close" ran never
// reaches the player.
//
// The next file named while one plays follows it without a gap (MpvNextFile).
// The playing file's completion then waits until its last sample has been
// heard; the "Close" that answers it leaves the next file sounding, and the
// "Open" and "Play" of that same file take it over where it is; so do those of
// a new start that follows a Stop at once, as tree repeat does. Any other
// command drops it.
class MpvControl : public QObject, public MMDevice, private MpvSession::Listener {
    Q_OBJECT

public:
    using Output = MpvOutput;
    // What became of the file named by setNextFileName.
    using NextFile = MpvNextFile::State;

    explicit MpvControl(Output output = Output::Default, QObject* parent = nullptr);
    ~MpvControl() override;

    MpvControl(const MpvControl&) = delete;
    MpvControl& operator=(const MpvControl&) = delete;

    void setNextFileName(const std::string& path) override;
    void setFolderAhead(const std::vector<std::string>& paths) override;
    void setNotify(bool notify) override;

    // False when libmpv could not be started; every "Play" then fails.
    bool isReady() const { return session_.ready(); }

    // Every file mpv began to load, in order, as mpv was told to open it.
    // Kept on the null outputs, which tests and benchmarks use; the program's
    // own control keeps no such history, which would only grow.
    const std::vector<std::string>& openedPaths() const { return openedPaths_; }

    // Seconds into the playing file, or a negative value when nothing plays.
    double position() const override;
    bool canSeek() const override;
    void seek(double seconds) override;
    void setVolume(double level) override;
    NowPlaying nowPlaying() const override { return nowPlaying_; }

    NextFile nextFile() const { return next_.state(); }
    // The next file waits in mpv's play list (during its trial too).
    bool nextFileQueued() const { return next_.queued(); }

    // Which files were seen to play or to fail.
    const FileVerdicts& verdicts() const { return verdicts_; }

signals:
    // The current file's audio has started (also after the file was paused
    // before it could start).
    void playbackStarted();

private:
    // The file the last "Play" loaded, for the verdict at its end.
    struct Played {
        std::string path;
        std::optional<FileState> file;
        double startedAt = 0.0; // seconds in
    };

    void open() override;
    void play() override;
    void togglePause() override;
    void close() override;
    void closeNow();

    void failLater();
    void completeLater(int notifyCode);
    void complete(int notifyCode);
    void setNowPlaying(NowPlaying now);
    void takeOverNext();
    std::optional<double> secondsLeft() const;

    // What the session tells.
    void entryStarted(int64_t entry, const std::string& path) override;
    void strangerStarted(const std::string& path) override;
    void entryEnded(int64_t entry, MpvSession::End end) override;
    void fileLoaded() override;
    void playbackRestarted() override;
    void idle() override;
    void outputLost() override;

    void awaitPlayOut();
    void onHandoverTimer();
    void checkHandover();
    void finishHandover();

    MpvSession session_;
    FileVerdicts verdicts_;
    MpvNextFile next_;

    std::string openedPath_; // the file "Open" opened, as given to mpv
    bool fileOpen_ = false;

    int64_t currentEntry_ = 0; // the playing entry whose end is due to the player
    bool startAnnounced_ = false;
    bool paused_ = false;
    std::optional<double> heldAt_; // moved to while paused
    uint64_t pendingCompletion_ = 0; // a completion owed to a "Play" without an mpv entry
    uint64_t completionSerial_ = 0;
    Played played_;

    NowPlaying nowPlaying_;
    bool realTime_ = false; // the output plays in real time
    bool keepOpenedPaths_ = false;
    std::vector<std::string> openedPaths_;

    // The current file's audio has all gone to the output; its completion
    // waits until the last sample has been heard.
    bool handingOver_ = false;
    bool answeringDone_ = false; // inside the done handler
    SoundingNextFile sounding_;
    QTimer handoverTimer_;
};

} // namespace orvane
