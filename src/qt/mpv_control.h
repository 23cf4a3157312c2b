#pragma once

#include "media/mm_control.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct mpv_handle;
class QSocketNotifier;

namespace orvane {

// The media control on libmpv. mpv runs its own threads, but everything the
// player sees happens on the thread that owns this object: mpv's wakeup only
// posts a queued call here, and that call drains mpv's event queue.
//
// "Play" loads the file named by the last "Open" and starts it from its
// beginning, unpaused. Each load gets an mpv playlist entry id; only the end
// of the entry that is current (not closed, not replaced) can raise the
// completion, so an end that was already queued when "Close" ran never
// reaches the player.
//
// The next file named while one plays is checked by a silent second player
// and, when it plays, appended to mpv's play list behind the playing file, so
// that mpv goes on to it without a gap. The playing file's completion then
// waits until its last sample has been heard; the "Close" that answers it
// leaves the next file sounding, and the "Open" and "Play" of that same file
// take it over where it is; so do those of a new start that follows a Stop at
// once, as tree repeat does. Any other command drops it.
class MpvControl : public QObject, public MMDevice {
    Q_OBJECT

public:
    enum class Output {
        Default,     // the system's audio output; silent real-time playback without one
        NullTimed,   // no sound, real time
        NullUntimed, // no sound, as fast as the file decodes
        Check,       // no sound; decodes only the first moment of each file, to learn whether it plays
    };

    // What became of the file named by setNextFileName.
    enum class NextFile {
        None,     // none named, or dropped
        Checking, // the second player is trying it
        Queued,   // in mpv's play list behind the playing file
        Started,  // mpv has gone on to it
    };

    explicit MpvControl(Output output = Output::Default, QObject* parent = nullptr);
    ~MpvControl() override;

    MpvControl(const MpvControl&) = delete;
    MpvControl& operator=(const MpvControl&) = delete;

    void setNextFileName(const std::string& path) override;
    void setNotify(bool notify) override;

    // False when libmpv could not be started; every "Play" then fails.
    bool isReady() const { return handle_ != nullptr; }

    // Every file mpv began to load, in order, as mpv was told to open it.
    // Kept on the null outputs, which tests and benchmarks use; the program's
    // own control keeps no such history, which would only grow.
    const std::vector<std::string>& openedPaths() const { return openedPaths_; }

    // Seconds into the playing file, or a negative value when nothing plays.
    double position() const override;
    NowPlaying nowPlaying() const override { return nowPlaying_; }

    NextFile nextFile() const;

signals:
    // The current file's audio has started (also after the file was paused
    // before it could start).
    void playbackStarted();

private:
    // A file as it was when it was seen to play or to fail.
    struct FileState {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedSec = 0, modifiedNsec = 0;
        int64_t changedSec = 0, changedNsec = 0;
        bool operator==(const FileState&) const = default;
    };
    struct Verdict {
        FileState file;
        bool plays = false;
    };
    // The file the last "Play" loaded, for the verdict at its end.
    struct Played {
        std::string path;
        std::optional<FileState> file;
    };

    // The next file, from its hint to its take-over.
    struct Prepared {
        NextFile state = NextFile::None;
        std::string path;  // as given to mpv
        std::optional<FileState> file; // as it was named
        int64_t entry = 0; // once queued
        bool ended = false; // all its audio went out before the player took it over
        bool heard = false; // and mpv has played it out
    };

    void open() override;
    void play() override;
    void togglePause() override;
    void close() override;
    void closeNow();
    void stopLater();

    void stopPlayer();
    void failLater();
    void completeLater(int notifyCode);
    void complete(int notifyCode);
    void requestDrain();
    void drainEvents();
    void onStartFile(int64_t entryId);
    void onEndFile(int64_t entryId, int reason, int error);
    void onPlaybackRestart();
    void onFileLoaded();
    void setNowPlaying(NowPlaying now);
    void readTags(NowPlaying& now) const;
    void onIdle();

    MpvControl& checker();
    void onChecked(int notifyCode);
    void queuePrepared();
    bool takesOverPrepared(const std::string& path) const;
    void takeOverPrepared();
    void onPreparedEnded(int reason);
    void dropPrepared(bool stopping);
    void removeEntry(int64_t entryId);
    void forgetPrepared();
    void watchNext();
    void unwatchNext();
    void onNextFileTouched();
    static std::optional<FileState> fileStateOf(const std::string& path);
    std::optional<bool> knownVerdict(const std::string& path, const std::optional<FileState>& file) const;
    void noteVerdict(const std::string& path, const std::optional<FileState>& file, bool plays);
    void setGapless(bool on);
    void awaitPlayOut();
    void onHandoverTimer();
    void checkHandover();
    void finishHandover();

    static void onWakeup(void* self);

    mpv_handle* handle_ = nullptr;
    std::atomic<bool> drainQueued_{false};

    std::string openedPath_; // the file "Open" opened, as given to mpv
    bool fileOpen_ = false;

    int64_t currentEntry_ = 0; // the playing entry whose end is due to the player
    int64_t startedEntry_ = 0; // the entry mpv said it is loading now
    bool startAnnounced_ = false;
    bool paused_ = false;
    uint64_t pendingCompletion_ = 0; // a completion owed to a "Play" without an mpv entry
    uint64_t completionSerial_ = 0;

    NowPlaying nowPlaying_;
    std::map<int64_t, std::string> loadedEntries_; // entries loaded and not yet ended
    bool keepOpenedPaths_ = false;
    std::vector<std::string> openedPaths_;

    Prepared prepared_;
    std::unique_ptr<MpvControl> checker_;
    bool gapless_ = false;
    // The current file's audio has all gone to the output; its completion
    // waits until the last sample has been heard.
    bool handingOver_ = false;
    bool answeringDone_ = false; // inside the done handler
    uint64_t stopSerial_ = 0;    // a "Close" that silences the next file soon
    bool holdingNext_ = false;   // the next file sounds on through a new start
    QTimer handoverTimer_;

    // What was found of each file handed to mpv: one that failed is not
    // handed to it again, one that played is queued without a new check,
    // as long as neither has changed.
    std::map<std::string, Verdict> verdicts_;
    Played played_;
    int inotify_ = -1;
    int watch_ = -1; // the queued next file, watched for changes
    std::unique_ptr<QSocketNotifier> nextWatcher_;
};

} // namespace orvane
