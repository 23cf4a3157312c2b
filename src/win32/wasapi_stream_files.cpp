// The files the stream plays: each opened and then decoded ahead on a thread
// of its own, the next one opened while the one before still sounds.
#include "win32/wasapi_stream.h"

#include "win32/mf_decoder.h"

#include <objbase.h>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

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

bool WasapiStream::append(std::uint64_t entry, const std::wstring& path, double fromSeconds)
{
    if (ready_ && !haveDevice()) {
        post(End::NoDevice, entry);
        return false;
    }
    auto decoder = ready_ ? MfDecoder::open(path, rate_, channels_) : nullptr;
    if (!decoder) {
        post(End::Unopenable, entry);
        return false;
    }
    const std::int64_t skip = std::max<std::int64_t>(std::llround(fromSeconds * rate_), 0);
    tracks_.push_back({entry, readAhead(std::move(decoder), rate_, channels_, skip), skip});
    return true;
}

// The file's samples from `skip` frames in (what comes before is decoded
// and dropped, never heard), decoded ahead from now on.
std::unique_ptr<ReadAhead> WasapiStream::readAhead(std::unique_ptr<MfDecoder> decoder, int rate, int channels,
                                                   std::int64_t skip)
{
    std::shared_ptr<MfDecoder> reader = std::move(decoder);
    return std::make_unique<ReadAhead>([reader](std::vector<float>& out) { return reader->read(out); },
                                       static_cast<std::size_t>(channels),
                                       static_cast<std::size_t>(rate) * kAheadSeconds, skip, comApartment());
}

WasapiStream::Opening::~Opening()
{
    if (wake)
        CloseHandle(wake);
}

void WasapiStream::beginFollowing(std::uint64_t entry, const std::wstring& path)
{
    following_.reset();
    if (ready_ && !haveDevice()) {
        post(End::NoDevice, entry);
        return;
    }
    auto opening = std::make_shared<Opening>();
    opening->entry = entry;
    opening->rate = rate_;
    opening->channels = channels_;
    if (!ready_
        || !DuplicateHandle(GetCurrentProcess(), wake_, GetCurrentProcess(), &opening->wake, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
        post(End::Unopenable, entry);
        return;
    }
    try {
        std::thread([opening, path] {
            const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (auto decoder = MfDecoder::open(path, opening->rate, opening->channels)) {
                // Decoded ahead from now on, and its first buffer ready by
                // the time it is needed, however late that is.
                opening->samples = readAhead(std::move(decoder), opening->rate, opening->channels, 0);
                opening->samples->waitFor(static_cast<std::size_t>(opening->rate) / 5);
            }
            if (SUCCEEDED(com))
                CoUninitialize();
            opening->done = true;
            SetEvent(opening->wake);
        }).detach();
    } catch (const std::system_error&) {
        post(End::Unopenable, entry);
        return;
    }
    following_ = std::move(opening);
}

// The next file takes its place behind the last one loaded; with nothing
// left to follow, it starts now. One opened for a device that has been
// replaced meanwhile (another rate) does not follow: the player's own load
// opens it again.
void WasapiStream::adoptFollowing()
{
    const std::shared_ptr<Opening> opening = std::move(following_);
    following_.reset();
    if (!opening->samples || opening->rate != rate_ || opening->channels != channels_) {
        post(End::Unopenable, opening->entry);
        return;
    }
    tracks_.push_back({opening->entry, std::move(opening->samples)});
    if (!active_)
        startStream();
}

} // namespace orvane
