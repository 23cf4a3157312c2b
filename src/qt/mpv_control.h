#pragma once

#include "media/mm_control.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct mpv_handle;

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
class MpvControl : public QObject, public MMControl {
    Q_OBJECT

public:
    enum class Output {
        Default,     // the system's audio output; silent real-time playback without one
        NullTimed,   // no sound, real time
        NullUntimed, // no sound, as fast as the file decodes
    };

    explicit MpvControl(Output output = Output::Default, QObject* parent = nullptr);
    ~MpvControl() override;

    MpvControl(const MpvControl&) = delete;
    MpvControl& operator=(const MpvControl&) = delete;

    void setCommand(const std::string& command) override;
    void setFileName(const std::string& path) override;
    void setNotify(bool) override {}
    void setWait(bool) override {}
    void setShareable(bool) override {}

    // False when libmpv could not be started; every "Play" then fails.
    bool isReady() const { return handle_ != nullptr; }

    // Every file mpv began to load, in order, as mpv was told to open it.
    // Kept on the null outputs, which tests and benchmarks use; the program's
    // own control keeps no such history, which would only grow.
    const std::vector<std::string>& openedPaths() const { return openedPaths_; }

    // Seconds into the playing file, or a negative value when nothing plays.
    double position() const override;
    NowPlaying nowPlaying() const override { return nowPlaying_; }

signals:
    // The current file's audio has started (also after the file was paused
    // before it could start).
    void playbackStarted();

private:
    void open();
    void play();
    void togglePause();
    void close();

    void stopPlayer();
    void failLater();
    void requestDrain();
    void drainEvents();
    void onStartFile(int64_t entryId);
    void onEndFile(int64_t entryId, int reason);
    void onPlaybackRestart();
    void onFileLoaded();
    void setNowPlaying(NowPlaying now);

    static void onWakeup(void* self);

    mpv_handle* handle_ = nullptr;
    std::atomic<bool> drainQueued_{false};

    std::string fileName_;   // as named by setFileName
    std::string openedPath_; // the file "Open" opened, as given to mpv
    bool fileOpen_ = false;

    int64_t currentEntry_ = 0; // the playing entry whose end is due to the player
    int64_t startedEntry_ = 0; // the entry mpv said it is loading now
    bool startAnnounced_ = false;
    bool paused_ = false;
    uint64_t pendingFailure_ = 0; // a failure to report for a "Play" mpv refused
    uint64_t failureSerial_ = 0;

    NowPlaying nowPlaying_;
    std::map<int64_t, std::string> loadedEntries_; // entries loaded and not yet ended
    bool keepOpenedPaths_ = false;
    std::vector<std::string> openedPaths_;
};

} // namespace orvane
