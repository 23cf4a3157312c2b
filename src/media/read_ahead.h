#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orvane {

// A file's samples decoded ahead on a thread of its own, for the thread that
// feeds the sound device: that one only takes what is ready and never waits
// for a read, so a file on a share that stalls a while plays on from what
// was decoded before. The file is opened and sought on that thread too, so
// that an open or a seek that hangs on a share holds up nothing but itself.
// The reads stop once `ahead` frames are waiting and go on as they are
// taken.
class ReadAhead {
public:
    // A file's sound, used by the reading thread alone and released there
    // (with whatever it holds) when the reading ends.
    class Source {
    public:
        virtual ~Source() = default;
        // Appends the next piece of interleaved samples; false at the end.
        virtual bool read(std::vector<float>& out) = 0;
        // Before the first read: moves the reading on towards `frame` frames
        // in, at most that far; the frame the next read starts at, exactly
        // (0 where the source cannot seek, the frames before `frame` then
        // being read and dropped).
        virtual std::int64_t seek(std::int64_t frame)
        {
            (void)frame;
            return 0;
        }
    };
    // Opens the source, on the reading thread; null when it cannot be.
    using Open = std::function<std::unique_ptr<Source>()>;
    // A source that is only read, from its start.
    using Read = std::function<bool(std::vector<float>& out)>;
    // What the reading thread does first and last (joining a COM apartment,
    // say); `leave` comes after the source has been released.
    struct ThreadScope {
        std::function<void()> enter;
        std::function<void()> leave;
    };
    // Told once, on the reading thread, when the first `frames` frames are
    // ready or the reading has ended before that (the source unopenable,
    // say): the feed's first buffer, which it must not wait for.
    struct FirstBuffer {
        std::size_t frames;
        std::function<void()> ready;
    };

    // What comes before the first `skip` frames is never taken: sought past
    // where the source can, read and dropped where it cannot.
    ReadAhead(Open open, std::size_t channels, std::size_t ahead, std::int64_t skip = 0, ThreadScope scope = {},
              FirstBuffer first = {});
    ReadAhead(Read read, std::size_t channels, std::size_t ahead, std::int64_t skip = 0, ThreadScope scope = {});
    // Never waits for the reading thread: an open, a seek or a read that
    // hangs on a stalled share ends by itself later, on its own thread.
    ~ReadAhead();

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Copies up to `frames` ready frames to out, without waiting; how many.
    std::size_t take(float* out, std::size_t frames);
    // Every frame has been read and taken.
    bool ended() const;
    // The first buffer is ready, or the reading has ended.
    bool firstReady() const;
    // The reading has ended for want of a source: the file could not be
    // opened.
    bool unopenable() const;
    // Waits until `frames` frames are ready or the reading has ended.
    void waitFor(std::size_t frames) const;

private:
    struct Shared {
        std::size_t channels = 1;
        std::size_t ahead = 0;
        std::size_t refillBelow = 0;
        std::size_t firstFrames = 0;
        mutable std::mutex mutex;
        mutable std::condition_variable changed;
        std::deque<std::vector<float>> pieces;
        std::size_t frontAt = 0;   // samples of the first piece already taken
        std::size_t ready = 0;     // frames waiting
        bool readEnded = false;
        bool unopened = false;
        bool firstDone = false;
        bool cancelled = false;
    };

    static void readAll(const std::shared_ptr<Shared>& shared, Open open, std::int64_t skip, const ThreadScope& scope,
                        const std::function<void()>& firstReady);

    std::shared_ptr<Shared> shared_;
};

} // namespace orvane
