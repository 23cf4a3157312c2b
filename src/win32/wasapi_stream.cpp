#include "win32/wasapi_stream.h"

#include "win32/mf_decoder.h"
#include "win32/win_window.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>

namespace orvane {

namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneWasapiStream";
// From the output thread: an entry (lParam) ended, and why (wParam, an End).
constexpr UINT kEntryEndedMessage = WM_APP + 1;

} // namespace

WasapiStream::WasapiStream(Listener& listener, OpenFile openFile)
    : listener_(listener)
    , openFile_(std::move(openFile))
{
    if (!openFile_)
        openFile_ = [](const std::wstring& path, int rate, int channels) -> std::unique_ptr<ReadAhead::Source> {
            return MfDecoder::open(path, rate, channels);
        };
    window_ = win::createMessageWindow(kWindowClass, &WasapiStream::windowProc, this);
    if (!window_)
        return;
    if (const HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr))
        wake_ = std::shared_ptr<void>(wake, CloseHandle);
    roomEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!wake_ || !roomEvent_)
        return;
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    started_.wait(lock, [this] { return initDone_; });
}

// The thread answers at once: it never waits for a file.
WasapiStream::~WasapiStream()
{
    if (thread_.joinable()) {
        send({Command::Quit, 0, {}});
        thread_.join();
    }
    if (roomEvent_)
        CloseHandle(roomEvent_);
    // Whatever the thread posted and the loop has not read goes with the
    // window.
    if (window_)
        DestroyWindow(window_);
}

std::uint64_t WasapiStream::loadReplacing(const std::wstring& path, double startSeconds)
{
    const std::uint64_t entry = ++lastEntry_;
    send({Command::Start, entry, path, startSeconds});
    return entry;
}

std::uint64_t WasapiStream::loadAfter(const std::wstring& path)
{
    const std::uint64_t entry = ++lastEntry_;
    send({Command::Follow, entry, path});
    return entry;
}

void WasapiStream::removeEntry(std::uint64_t entry)
{
    send({Command::Drop, entry, {}});
}

void WasapiStream::stop()
{
    send({Command::Stop, 0, {}});
}

void WasapiStream::setPaused(bool paused)
{
    send({paused ? Command::Pause : Command::Resume, 0, {}});
}

void WasapiStream::seek(std::uint64_t entry, double startSeconds)
{
    send({Command::Seek, entry, {}, startSeconds});
}

void WasapiStream::setVolume(double level)
{
    const double l = std::clamp(level, 0.0, 1.0);
    gain_ = static_cast<float>(l * l * l);
}

std::vector<WasapiStream::Placement> WasapiStream::placements() const
{
    std::lock_guard lock(mutex_);
    return {placed_.begin(), placed_.end()};
}

void WasapiStream::send(Command command)
{
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(std::move(command));
    }
    SetEvent(wake_.get());
}

void WasapiStream::run()
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    const bool ok = SUCCEEDED(com) && MediaFoundation::get();
    // No sound device yet is no reason to give up: the first file looks for
    // one again, as after a device that went away.
    const bool device = ok && haveDevice();
    {
        std::lock_guard lock(mutex_);
        ready_ = ok;
        deviceAtStart_ = device;
        initDone_ = true;
    }
    started_.notify_all();
    for (bool quit = false; !quit;) {
        // Stopped or paused, the thread sleeps until the next command.
        const HANDLE handles[] = {wake_.get(), roomEvent_};
        const bool sounding = active_ && !paused_;
        WaitForMultipleObjects(sounding ? 2 : 1, handles, FALSE, sounding ? 50 : INFINITE);
        std::deque<Command> commands;
        {
            std::lock_guard lock(mutex_);
            commands.swap(commands_);
        }
        for (Command& c : commands)
            quit = quit || !handle(c);
        if (!quit && following_ && following_->samples->firstReady())
            adoptFollowing();
        if (!quit && starting() && tracks_.front().samples->firstReady())
            begin();
        if (!quit && active_ && !paused_) {
            feed();
            checkHeard();
        }
    }
    stopStream();
    tracks_.clear();
    device_.close();
    if (SUCCEEDED(com))
        CoUninitialize();
}

// False for Quit.
bool WasapiStream::handle(const Command& c)
{
    switch (c.kind) {
    case Command::Start:
        // It starts once its first buffer is ready.
        following_.reset();
        stopStream();
        tracks_.clear();
        paused_ = false;
        position_ = -1.0;
        if (auto started = track(c.entry, c.path, c.fromSeconds))
            tracks_.push_back(std::move(*started));
        return true;
    case Command::Follow:
        beginFollowing(c.entry, c.path);
        return true;
    case Command::Drop:
        if (following_ && following_->entry == c.entry)
            following_.reset();
        dropTrack(c.entry);
        return true;
    case Command::Stop:
        following_.reset();
        stopStream();
        tracks_.clear();
        paused_ = false;
        position_ = -1.0;
        return true;
    case Command::Pause:
        // A file still opening starts held.
        if (!paused_ && (active_ ? device_.pause() : !tracks_.empty() || following_))
            paused_ = true;
        return true;
    case Command::Resume:
        if (paused_ && (!active_ || device_.start()))
            paused_ = false;
        return true;
    case Command::Seek:
        seekTrack(c.entry, c.fromSeconds);
        return true;
    case Command::Quit:
        return false;
    }
    return true;
}

// A device that went away is looked for again with the next file: the
// default one may be another by then, with another rate.
bool WasapiStream::haveDevice()
{
    if (device_.isOpen())
        return true;
    if (!device_.open(roomEvent_))
        return false;
    rate_ = device_.rate();
    channels_ = device_.channels();
    return true;
}

// The device lets go of all it holds, and the stream starts again, held if
// it was, once the file heard has its first buffer from the new place. A
// file after it whose first samples went to the device already starts over
// behind it; the ones not yet written keep what they have read ahead.
void WasapiStream::seekTrack(std::uint64_t entry, double fromSeconds)
{
    if (tracks_.empty() || tracks_.front().entry != entry)
        return;
    const bool held = paused_;
    stopStream();
    paused_ = held;
    std::deque<Track> again;
    for (Track& t : tracks_) {
        const bool heard = t.entry == entry;
        if (!heard && t.first < 0 && t.samples) {
            again.push_back(std::move(t));
            continue;
        }
        if (auto reopened = track(t.entry, t.path, heard ? fromSeconds : 0.0))
            again.push_back(std::move(*reopened));
    }
    tracks_ = std::move(again);
    position_ = tracks_.empty() || tracks_.front().entry != entry ? -1.0 : std::max(0.0, fromSeconds);
}

void WasapiStream::dropTrack(std::uint64_t entry)
{
    const auto it =
        std::find_if(tracks_.begin(), tracks_.end(), [entry](const Track& t) { return t.entry == entry; });
    if (it == tracks_.end())
        return;
    const auto index = static_cast<std::size_t>(it - tracks_.begin());
    if (index < writing_)
        --writing_;
    tracks_.erase(it);
}

// The first file's first buffer is ready, or it could not be opened.
void WasapiStream::begin()
{
    if (tracks_.front().samples->unopenable()) {
        post(End::Unopenable, tracks_.front().entry);
        tracks_.pop_front();
        if (tracks_.empty())
            return;
    }
    startStream();
}

// A full buffer goes in before the clock runs; held, the clock waits for
// the resume.
void WasapiStream::startStream()
{
    written_ = 0;
    writing_ = 0;
    active_ = true;
    feed();
    if (!active_)
        return;
    position_ = static_cast<double>(tracks_.front().skipped) / device_.rate();
    if (!paused_ && !device_.start())
        fail();
}

void WasapiStream::stopStream()
{
    if (!active_)
        return;
    device_.stop();
    active_ = false;
    paused_ = false;
}

// Fills the stream's free room.
void WasapiStream::feed()
{
    std::uint32_t room = 0;
    if (!device_.room(room)) {
        fail();
        return;
    }
    if (room == 0)
        return;
    float* out = device_.buffer(room);
    if (!out) {
        fail();
        return;
    }
    const std::size_t filled = fill(out, room);
    if (!device_.release(static_cast<std::uint32_t>(filled))) {
        fail();
        return;
    }
    written_ += static_cast<std::int64_t>(filled);
}

// The files' samples one after another, silence after the last; how many
// frames went in.
std::size_t WasapiStream::fill(float* out, std::size_t room)
{
    const auto channels = static_cast<std::size_t>(device_.channels());
    std::size_t done = 0;
    while (done < room) {
        if (writing_ >= tracks_.size()) {
            // While the next file still opens, what the stream holds plays
            // on, and silence goes in only when it runs low.
            return holdOrSilence(out, done, room, following_ ? room : 0);
        }
        Track& track = tracks_[writing_];
        const std::int64_t at = written_ + static_cast<std::int64_t>(done);
        const std::size_t got = track.samples->take(out + done * channels, room - done);
        if (const float gain = gain_; got > 0 && gain != 1.0f) {
            float* const from = out + done * channels;
            std::transform(from, from + got * channels, from, [gain](float s) { return s * gain; });
        }
        if (got > 0) {
            if (track.first < 0)
                track.first = at;
            done += got;
            continue;
        }
        if (!track.samples->ended()) {
            // Its decoding waits on a read: the stream plays on from what it
            // holds, and only a little silence at a time goes in when that
            // runs low, so that the file goes on as soon as it can.
            return holdOrSilence(out, done, room, device_.rate() / 100);
        }
        // At its end the next file is written from here.
        if (track.first < 0)
            track.first = at;
        track.end = at;
        track.samples.reset();
        place(track);
        ++writing_;
    }
    return room;
}

// Nothing to write for now, with more to come (0 frames of silence at a time
// when nothing is to come): while the stream holds more than a little, it
// plays on; then this much silence goes in (the rest of the room at most).
std::size_t WasapiStream::holdOrSilence(float* out, std::size_t done, std::size_t room, std::size_t silence)
{
    const auto channels = static_cast<std::size_t>(device_.channels());
    std::size_t upTo = room;
    std::int64_t heard = 0;
    if (silence > 0 && device_.heardFrames(heard)) {
        if (written_ + static_cast<std::int64_t>(done) - heard > device_.rate() / 25)
            return done;
        upTo = std::min(room, done + silence);
    }
    std::memset(out + done * channels, 0, (upTo - done) * channels * sizeof(float));
    return upTo;
}

// Reports each file whose last sample the device has played; the stream
// stops once the last file is heard, so that idle costs nothing.
void WasapiStream::checkHeard()
{
    if (!active_)
        return;
    std::int64_t heard = 0;
    if (!device_.heardFrames(heard)) {
        fail();
        return;
    }
    while (!tracks_.empty() && tracks_.front().end >= 0 && tracks_.front().end <= heard) {
        post(End::PlayedOut, tracks_.front().entry);
        tracks_.pop_front();
        --writing_;
    }
    if (tracks_.empty())
        stopStream();
    const Track* now = tracks_.empty() ? nullptr : &tracks_.front();
    const int rate = device_.rate();
    position_ = now && now->first >= 0 && heard >= now->first
        ? static_cast<double>(heard - now->first + now->skipped) / rate
        : (now ? static_cast<double>(now->skipped) / rate : -1.0);
}

// The device went away or refused the stream: every file it held fails,
// for want of a device rather than by its own fault.
void WasapiStream::fail()
{
    for (const Track& t : tracks_)
        post(End::NoDevice, t.entry);
    tracks_.clear();
    device_.pause();
    device_.close();
    active_ = false;
    paused_ = false;
}

void WasapiStream::place(const Track& track)
{
    std::lock_guard lock(mutex_);
    placed_.push_back({track.entry, track.first, track.end});
    if (placed_.size() > 32)
        placed_.pop_front();
}

void WasapiStream::post(End end, std::uint64_t entry)
{
    PostMessageW(window_, kEntryEndedMessage, static_cast<WPARAM>(end), static_cast<LPARAM>(entry));
}

LRESULT CALLBACK WasapiStream::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<WasapiStream*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kEntryEndedMessage) {
        self->listener_.entryEnded(static_cast<std::uint64_t>(lParam), static_cast<End>(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace orvane
