#include "media/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

namespace orvane {

namespace {

// A source that is only read, from its start.
class ReadOnly : public ReadAhead::Source {
public:
    explicit ReadOnly(ReadAhead::Read read) : read_(std::move(read)) {}
    bool read(std::vector<float>& out) override { return read_(out); }

private:
    ReadAhead::Read read_;
};

} // namespace

ReadAhead::ReadAhead(Open open, std::size_t channels, std::size_t ahead, std::int64_t skip, ThreadScope scope,
                     FirstBuffer first)
    : shared_(std::make_shared<Shared>())
{
    shared_->channels = std::max<std::size_t>(channels, 1);
    shared_->ahead = std::max<std::size_t>(ahead, 1);
    // Reads come in bursts rather than one after each take: the reserve
    // goes back to full once an eighth of it has been taken.
    shared_->refillBelow = shared_->ahead - shared_->ahead / 8;
    shared_->firstFrames = std::min(first.frames, shared_->ahead);
    try {
        std::thread(readAll, shared_, std::move(open), skip, std::move(scope), std::move(first.ready)).detach();
    } catch (const std::system_error&) {
        // No thread to read with: the file ends here, as one that cannot be
        // decoded further does.
        shared_->readEnded = true;
        shared_->firstDone = true;
    }
}

ReadAhead::ReadAhead(Read read, std::size_t channels, std::size_t ahead, std::int64_t skip, ThreadScope scope)
    : ReadAhead(Open([read = std::move(read)]() mutable -> std::unique_ptr<Source> {
                    return std::make_unique<ReadOnly>(std::move(read));
                }),
                channels, ahead, skip, std::move(scope))
{
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->cancelled = true;
        shared_->pieces.clear();
    }
    shared_->changed.notify_all();
}

void ReadAhead::readAll(const std::shared_ptr<Shared>& shared, Open open, std::int64_t skip, const ThreadScope& scope,
                        const std::function<void()>& firstReady)
{
    if (scope.enter)
        scope.enter();
    const auto cancelled = [&shared] {
        std::lock_guard lock(shared->mutex);
        return shared->cancelled;
    };
    // Whether the first buffer is told of now: once, when it is ready or
    // the reading ends before.
    const auto firstNow = [&shared] {
        if (shared->firstDone || !(shared->readEnded || shared->ready >= shared->firstFrames))
            return false;
        shared->firstDone = true;
        return true;
    };
    std::unique_ptr<Source> source = cancelled() ? nullptr : open();
    open = nullptr;
    if (source && skip > 0 && !cancelled())
        skip -= std::clamp<std::int64_t>(source->seek(skip), 0, skip);
    const std::size_t channels = shared->channels;
    // Dropped meanwhile, the file is let go unread.
    bool more = source != nullptr && !cancelled();
    for (bool tell = false;; tell = false) {
        std::vector<float> piece;
        if (more) {
            more = source->read(piece);
            piece.resize(piece.size() / channels * channels);
        }
        if (more && skip > 0) {
            const auto dropped = std::min<std::int64_t>(skip, static_cast<std::int64_t>(piece.size() / channels));
            piece.erase(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(dropped) * static_cast<std::ptrdiff_t>(channels));
            skip -= dropped;
        }
        {
            std::unique_lock lock(shared->mutex);
            if (shared->cancelled)
                break;
            if (!more) {
                shared->readEnded = true;
                shared->unopened = source == nullptr;
            } else if (!piece.empty()) {
                shared->ready += piece.size() / channels;
                shared->pieces.push_back(std::move(piece));
            }
            tell = firstNow();
            shared->changed.notify_all();
        }
        if (tell && firstReady)
            firstReady();
        if (!more)
            break;
        std::unique_lock lock(shared->mutex);
        if (shared->ready >= shared->ahead)
            shared->changed.wait(lock, [&] { return shared->cancelled || shared->ready < shared->refillBelow; });
        if (shared->cancelled)
            break;
    }
    // The decoder goes on this thread, inside its scope.
    source.reset();
    if (scope.leave)
        scope.leave();
}

std::size_t ReadAhead::take(float* out, std::size_t frames)
{
    Shared& s = *shared_;
    std::size_t done = 0;
    bool refill = false;
    {
        std::lock_guard lock(s.mutex);
        while (done < frames && !s.pieces.empty()) {
            std::vector<float>& front = s.pieces.front();
            const std::size_t n = std::min(frames - done, (front.size() - s.frontAt) / s.channels);
            std::memcpy(out + done * s.channels, front.data() + s.frontAt, n * s.channels * sizeof(float));
            s.frontAt += n * s.channels;
            done += n;
            if (s.frontAt >= front.size()) {
                s.pieces.pop_front();
                s.frontAt = 0;
            }
        }
        refill = s.ready >= s.refillBelow && s.ready - done < s.refillBelow;
        s.ready -= done;
    }
    if (refill)
        s.changed.notify_all();
    return done;
}

bool ReadAhead::ended() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->readEnded && shared_->ready == 0;
}

bool ReadAhead::firstReady() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->firstDone;
}

bool ReadAhead::unopenable() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->unopened;
}

void ReadAhead::waitFor(std::size_t frames) const
{
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    frames = std::min(frames, s.ahead);
    s.changed.wait(lock, [&] { return s.readEnded || s.ready >= frames; });
}

} // namespace orvane
