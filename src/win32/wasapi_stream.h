#pragma once

#include "media/read_ahead.h"
#include "win32/wasapi_device.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvane {

// The default sound device's stream and the thread of its own that keeps it
// fed: files decoded to samples (the encoder's silence cut away), one file's
// first sample straight after the last one's. The thread owns the device
// and watches the clock; each file is opened, sought and decoded ahead on a
// thread of its own (ReadAhead), so that an open, a seek or a read that
// waits on a slow share never holds up the feed nor the commands, and the
// stream goes whatever such a thread waits for. The thread that made the
// stream only leaves it commands, and hears of each file's end on its own
// message loop, through a message window of the stream's.
//
// Each load gets an entry id, the stream's own number for the file.
class WasapiStream {
public:
    // Why a file left the stream.
    enum class End {
        PlayedOut,  // its last sample has been heard
        Unopenable, // it could not be opened or decoded
        NoDevice,   // the sound device could not be had, or went away while it played
    };

    class Listener {
    public:
        // On the thread that made the stream; never for an entry stopped,
        // replaced or removed.
        virtual void entryEnded(std::uint64_t entry, End end) = 0;

    protected:
        ~Listener() = default;
    };

    // Where the last files' samples went in the stream, in stream frames
    // since it last started: a file that follows another without a gap
    // starts where that one ends. Kept for the last few files only.
    struct Placement {
        std::uint64_t id = 0; // the file's entry
        std::int64_t first = 0;
        std::int64_t end = 0;
        bool operator==(const Placement&) const = default;
    };

    // Opens a file decoded to the stream's rate and channels, on the thread
    // that then reads it; null when it cannot be played. A Media Foundation
    // decoder (MfDecoder) unless given another.
    using OpenFile =
        std::function<std::unique_ptr<ReadAhead::Source>(const std::wstring& path, int rate, int channels)>;

    explicit WasapiStream(Listener& listener, OpenFile openFile = {});

    // The factor each file opened from now on plays at (nothing: as it is),
    // asked on the file's reading thread, which may wait for it; the stream
    // multiplies the decoder's float samples by it before they are queued,
    // so it holds from the file's first sample, across a gapless join.
    // Set before the first load.
    using Level = std::function<std::optional<double>(const std::wstring& path)>;
    void setLevel(Level level) { level_ = std::move(level); }
    ~WasapiStream();

    WasapiStream(const WasapiStream&) = delete;
    WasapiStream& operator=(const WasapiStream&) = delete;

    // False when Media Foundation could not be had: every load then fails.
    // Without a sound device every load fails for want of one, and looks for
    // one again.
    bool ready() const { return ready_; }
    // Whether a sound device took the stream as it started.
    bool deviceAtStart() const { return deviceAtStart_; }
    // The stream's rate and channels, as the device last gave them.
    int rate() const { return rate_; }
    int channels() const { return channels_; }

    // Drops everything and plays this file, startSeconds in (sought there,
    // never heard from before it).
    std::uint64_t loadReplacing(const std::wstring& path, double startSeconds = 0.0);
    // Opens this file now, to sound right after the last one loaded.
    std::uint64_t loadAfter(const std::wstring& path);
    // A file not yet written goes without a trace; one that is, goes from
    // where it is, and what of it the stream already holds still sounds.
    void removeEntry(std::uint64_t entry);
    void stop();
    void setPaused(bool paused);
    // Moves the file heard, if it is this entry, to startSeconds in: what the
    // device holds of it goes, and it sounds from there (or stays held
    // there); the files loaded after it follow it as before, without a gap.
    void seek(std::uint64_t entry, double startSeconds);
    // How loud the samples go out from now on: 0 to 1, on a scale of
    // loudness (the samples are scaled by its cube).
    void setVolume(double level);

    // Seconds into the file heard now, negative when none is.
    double position() const { return position_; }
    std::vector<Placement> placements() const;

private:
    struct Command {
        enum Kind { Start, Follow, Drop, Stop, Pause, Resume, Seek, Quit } kind;
        std::uint64_t entry = 0;
        std::wstring path;
        double fromSeconds = 0.0;
    };
    struct Track {
        std::uint64_t entry = 0;
        std::unique_ptr<ReadAhead> samples;
        std::int64_t skipped = 0; // frames before the point it sounds from
        int rate = 0;             // the format it is decoded to
        int channels = 0;
        std::int64_t first = -1;  // stream frame of its first sample, once written
        std::int64_t end = -1;    // stream frame after its last, once all is written
        std::wstring path;        // to open it again from elsewhere
    };

    void send(Command command);
    void run();
    bool handle(const Command& c);
    bool haveDevice();
    std::optional<Track> track(std::uint64_t entry, const std::wstring& path, double fromSeconds);
    void beginFollowing(std::uint64_t entry, const std::wstring& path);
    void seekTrack(std::uint64_t entry, double fromSeconds);
    void adoptFollowing();
    bool starting() const { return !active_ && !tracks_.empty(); }
    void begin();
    void dropTrack(std::uint64_t entry);
    void startStream();
    void stopStream();
    void feed();
    std::size_t fill(float* out, std::size_t room);
    std::size_t holdOrSilence(float* out, std::size_t done, std::size_t room, std::size_t silence);
    void checkHeard();
    void fail();
    void place(const Track& track);
    void post(End end, std::uint64_t entry);
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The owner's.
    Listener& listener_;
    OpenFile openFile_;
    Level level_;
    HWND window_ = nullptr;
    std::uint64_t lastEntry_ = 0;

    // Shared with the thread; the wake event with the reading threads too,
    // each of which tells of its file's first buffer there.
    std::shared_ptr<void> wake_;
    HANDLE roomEvent_ = nullptr;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable started_;
    bool initDone_ = false;
    std::deque<Command> commands_;
    std::deque<Placement> placed_;
    bool ready_ = false;
    bool deviceAtStart_ = false;
    std::atomic<int> rate_ = 0;
    std::atomic<int> channels_ = 0;
    std::atomic<double> position_ = -1.0;
    std::atomic<float> gain_ = 1.0f;

    // The thread's own.
    WasapiDevice device_;
    bool active_ = false; // the stream runs or is paused
    bool paused_ = false; // held, or to start held
    // Not yet heard, in order; while the stream is not active, the first
    // one's first buffer is awaited before the stream starts.
    std::deque<Track> tracks_;
    std::optional<Track> following_; // the next file, until its first buffer is ready
    std::size_t writing_ = 0;  // the track whose samples go out now
    std::int64_t written_ = 0; // frames since the stream started
};

} // namespace orvane
