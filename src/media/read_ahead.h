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
// was decoded before. The reads stop once `ahead` frames are waiting and go
// on as they are taken.
class ReadAhead {
public:
    // Appends the next piece of interleaved samples; false at the end. Only
    // the reading thread calls it, and releases it (with whatever it holds)
    // when the reading ends.
    using Read = std::function<bool(std::vector<float>& out)>;
    // What the reading thread does first and last (joining a COM apartment,
    // say); `leave` comes after the read has been released.
    struct ThreadScope {
        std::function<void()> enter;
        std::function<void()> leave;
    };

    // The first `skip` frames are read and dropped, never taken.
    ReadAhead(Read read, std::size_t channels, std::size_t ahead, std::int64_t skip = 0, ThreadScope scope = {});
    // Never waits for a read: one that hangs on a stalled share ends by
    // itself later, on its own thread.
    ~ReadAhead();

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Copies up to `frames` ready frames to out, without waiting; how many.
    std::size_t take(float* out, std::size_t frames);
    // Every frame has been read and taken.
    bool ended() const;
    // Waits until `frames` frames are ready or the reading has ended: for a
    // stream's first buffer, before anything sounds.
    void waitFor(std::size_t frames) const;

private:
    struct Shared {
        std::size_t channels = 1;
        std::size_t ahead = 0;
        std::size_t refillBelow = 0;
        mutable std::mutex mutex;
        mutable std::condition_variable changed;
        std::deque<std::vector<float>> pieces;
        std::size_t frontAt = 0;   // samples of the first piece already taken
        std::size_t ready = 0;     // frames waiting
        bool readEnded = false;
        bool cancelled = false;
    };

    static void readAll(const std::shared_ptr<Shared>& shared, Read read, std::int64_t skip, const ThreadScope& scope);

    std::shared_ptr<Shared> shared_;
};

} // namespace orvane
