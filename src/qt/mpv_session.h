#pragma once

#include "media/mm_control.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

struct mpv_handle;

namespace orvane {

// Where an embedded player's sound goes.
enum class MpvOutput {
    Default,     // the system's audio output; silent real-time playback without one
    NullTimed,   // no sound, real time
    NullUntimed, // no sound, as fast as the file decodes
    Check,       // no sound; decodes only the first moment of each file, to learn whether it plays
};

// One embedded libmpv player, made safe to hand any file to: it reads no
// configuration, runs no script, opens nothing but the file it is told to
// play, and stops any other file a file's content makes it go on to. mpv runs
// its own threads; its events reach the listener on the thread that owns the
// session, as typed calls, each with its data copied out.
//
// Each load gets a play list entry id; the session knows which entries it
// loaded itself.
class MpvSession : public QObject {
    Q_OBJECT

public:
    // Why mpv left an entry.
    enum class End {
        PlayedOut,  // all its audio has gone to the output
        Stopped,    // stopped, replaced or removed
        Unopenable, // mpv could not open it or make sense of it
        Failed,     // any other error
        Redirected, // it named other files (a play list), which mpv would play next
    };

    class Listener {
    public:
        // mpv begins an entry the session loaded.
        virtual void entryStarted(int64_t entry, const std::string& path) = 0;
        // mpv began an entry the session never loaded, and has been stopped.
        virtual void strangerStarted(const std::string& path) = 0;
        virtual void entryEnded(int64_t entry, End end) = 0;
        // The entry begun last has loaded: its tags and length are known.
        virtual void fileLoaded() = 0;
        // Audio of the entry begun last has started, or started again.
        virtual void playbackRestarted() = 0;
        // mpv has nothing more to play, and has played out what it had.
        virtual void idle() = 0;
        // The sound output went away (a sound server stopped) and mpv went on
        // into its null output, where nothing is heard.
        virtual void outputLost() = 0;

    protected:
        ~Listener() = default;
    };

    MpvSession(MpvOutput output, Listener& listener);
    ~MpvSession() override;

    MpvSession(const MpvSession&) = delete;
    MpvSession& operator=(const MpvSession&) = delete;

    // False when libmpv could not be started safely; nothing then plays.
    bool ready() const { return handle_ != nullptr; }

    // mpv reads "-" as standard input and "name://..." as an address; the
    // path as a plain local file, made absolute from the current folder.
    static std::string localFile(const std::string& path);

    // Loads the file in place of everything mpv holds, or behind it; the new
    // entry's id, or 0 when mpv refused it. mpv opens a file queued behind the
    // playing one ahead of time; a file loaded in place is always opened
    // afresh.
    // startSeconds > 0: the file starts that far in.
    int64_t loadReplacing(const std::string& path, double startSeconds = 0.0);
    int64_t loadAfter(const std::string& path);
    // The factor each file loaded from now on plays at, asked with the file's
    // path as given to the loads (nothing: the file as it is). mpv applies
    // it to the file's own samples, so it is in force from the first of them
    // and changes nothing of the gapless join.
    using Level = std::function<std::optional<double>(const std::string& path)>;
    void setLevel(Level level) { level_ = std::move(level); }
    void removeEntry(int64_t entry);
    // Leaves only the entry that plays now in mpv's play list.
    void keepOnlyCurrent();
    void stop();
    void setPaused(bool paused);
    // Moves the entry that plays (or is paused) to this many seconds in.
    void seek(double seconds);
    // Whether mpv can move within the entry that plays.
    bool seekable() const;
    // mpv's own volume, in per cent; its loudness goes as the cube of it.
    void setVolume(double percent);
    // Whether mpv goes on from one entry to the next without closing the
    // output; it then reports an entry's end when its last audio was queued,
    // rather than heard.
    void setGapless(bool on);

    // The entry mpv said it begins last.
    int64_t startedEntry() const { return startedEntry_; }
    // Seconds into the entry that plays, or a negative value.
    double position() const;
    // The length of the entry that plays, or a negative value while unknown.
    double duration() const;
    // The output's place in the entry that plays now, negative while audio
    // of the entry before it is still queued ahead of it.
    std::optional<double> audioPosition() const;
    // The tags and length of the entry that plays now.
    void readTags(MMControl::NowPlaying& now) const;

    // How long the end of a session waits for mpv's threads.
    static constexpr std::chrono::milliseconds TerminateWait{250};
    // Runs end on a thread of its own and waits for it at most wait; true
    // when it ended meanwhile. What is left ends with the process.
    static bool endWithin(std::function<void()> end, std::chrono::milliseconds wait);

private:
    int64_t load(const std::string& path, const char* mode, double startSeconds = 0.0,
                 const std::string& levelledAs = {});
    void requestDrain();
    void drainEvents();
    void onStart(int64_t entry);
    static void onWakeup(void* self);

    Listener& listener_;
    mpv_handle* handle_ = nullptr;
    std::atomic<bool> drainQueued_{false};
    std::map<int64_t, std::string> loaded_; // entries loaded and not yet ended
    std::set<std::string> queuedSinceStart_; // spellings queued since mpv began an entry
    int64_t startedEntry_ = 0;
    bool gapless_ = false;
    Level level_;
};

} // namespace orvane
