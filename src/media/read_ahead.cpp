#include "media/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

namespace orvane {

ReadAhead::ReadAhead(Read read, std::size_t channels, std::size_t ahead, std::int64_t skip, ThreadScope scope)
    : shared_(std::make_shared<Shared>())
{
    shared_->channels = std::max<std::size_t>(channels, 1);
    shared_->ahead = std::max<std::size_t>(ahead, 1);
    // Reads come in bursts rather than one after each take: the reserve
    // goes back to full once an eighth of it has been taken.
    shared_->refillBelow = shared_->ahead - shared_->ahead / 8;
    try {
        std::thread(readAll, shared_, std::move(read), skip, std::move(scope)).detach();
    } catch (const std::system_error&) {
        // No thread to read with: the file ends here, as one that cannot be
        // decoded further does.
        shared_->readEnded = true;
    }
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

void ReadAhead::readAll(const std::shared_ptr<Shared>& shared, Read read, std::int64_t skip, const ThreadScope& scope)
{
    if (scope.enter)
        scope.enter();
    const std::size_t channels = shared->channels;
    for (;;) {
        std::vector<float> piece;
        const bool more = read(piece);
        piece.resize(piece.size() / channels * channels);
        if (more && skip > 0) {
            const auto dropped = std::min<std::int64_t>(skip, static_cast<std::int64_t>(piece.size() / channels));
            piece.erase(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(dropped) * static_cast<std::ptrdiff_t>(channels));
            skip -= dropped;
        }
        std::unique_lock lock(shared->mutex);
        if (shared->cancelled)
            break;
        if (!more) {
            shared->readEnded = true;
            shared->changed.notify_all();
            break;
        }
        if (!piece.empty()) {
            shared->ready += piece.size() / channels;
            shared->pieces.push_back(std::move(piece));
            shared->changed.notify_all();
        }
        if (shared->ready >= shared->ahead)
            shared->changed.wait(lock, [&] { return shared->cancelled || shared->ready < shared->refillBelow; });
        if (shared->cancelled)
            break;
    }
    // The decoder goes on this thread, inside its scope.
    read = nullptr;
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

void ReadAhead::waitFor(std::size_t frames) const
{
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    frames = std::min(frames, s.ahead);
    s.changed.wait(lock, [&] { return s.readEnded || s.ready >= frames; });
}

} // namespace orvane
