// The files the stream plays: each opened, sought and then decoded ahead on a
// thread of its own, the next one opened while the one before still sounds.
#include "win32/wasapi_stream.h"

#include "media/levelling.h"


#include <objbase.h>

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

// A file is decoded this far ahead of what the stream holds: a read that
// waits this long on a share is not heard.
constexpr int kAheadSeconds = 1;

// The decoding thread's own COM apartment, for the decoder's reads.
ReadAhead::ThreadScope comApartment()
{
    auto joined = std::make_shared<bool>(false);
    return {[joined] { *joined = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); },
            [joined] {
                if (*joined)
                    CoUninitialize();
            }};
}

} // namespace

// A file to play from `fromSeconds` in: opened, sought there and decoded
// ahead on its own thread from now on. None, its end told, where there is
// no device or no Media Foundation to play it with.
std::optional<WasapiStream::Track> WasapiStream::track(std::uint64_t entry, const std::wstring& path,
                                                       double fromSeconds)
{
    if (ready_ && !haveDevice()) {
        post(End::NoDevice, entry);
        return std::nullopt;
    }
    if (!ready_) {
        post(End::Unopenable, entry);
        return std::nullopt;
    }
    const int rate = rate_;
    const int channels = channels_;
    // Beyond any file's length, and within what a frame count holds.
    const double seconds = std::min(fromSeconds, 1e9);
    const std::int64_t skip = seconds > 0.0 ? std::llround(seconds * rate) : 0;
    auto open = [openFile = openFile_, level = level_, path, rate, channels] {
        std::unique_ptr<ReadAhead::Source> source = openFile(path, rate, channels);
        const std::optional<double> factor = source && level ? level(path) : std::nullopt;
        return factor ? levelledSource(std::move(source), static_cast<float>(*factor)) : std::move(source);
    };
    // The stream's thread hears of the first buffer through the wake event,
    // which the reading thread holds as long as it may tell.
    auto ready = [wake = wake_] { SetEvent(wake.get()); };
    auto samples = std::make_unique<ReadAhead>(std::move(open), static_cast<std::size_t>(channels),
                                               static_cast<std::size_t>(rate) * kAheadSeconds, skip, comApartment(),
                                               ReadAhead::FirstBuffer{static_cast<std::size_t>(rate) / 5, ready});
    return Track{entry, std::move(samples), skip, rate, channels, -1, -1, path};
}

void WasapiStream::beginFollowing(std::uint64_t entry, const std::wstring& path)
{
    following_.reset();
    following_ = track(entry, path, 0.0);
}

// The next file takes its place behind the last one loaded; with nothing
// left to follow, it starts once it is ready. One opened for a device that
// has been replaced meanwhile (another rate) does not follow: the player's
// own load opens it again.
void WasapiStream::adoptFollowing()
{
    Track next = std::move(*following_);
    following_.reset();
    if (next.samples->unopenable() || next.rate != rate_ || next.channels != channels_) {
        post(End::Unopenable, next.entry);
        return;
    }
    tracks_.push_back(std::move(next));
}

} // namespace orvane
