#include "win32/wasapi_control.h"

#include "platform/win_text.h"
#include "win32/win_window.h"
#include "win32/mf_decoder.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <objbase.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace orvane {

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneWasapiControl";
// From the output thread: a file was heard to its end (wParam kEnded), could
// not be played (kFailed), or had no sound device to play on (kNoDevice);
// lParam is its id.
constexpr UINT kOutputMessage = WM_APP + 1;
constexpr WPARAM kEnded = 1;
constexpr WPARAM kFailed = 2;
constexpr WPARAM kNoDevice = 3;
// A completion due to the player, by serial.
constexpr UINT kCompletionMessage = WM_APP + 2;
// A next file left sounding by a "Close" is silenced now, by serial.
constexpr UINT kSilenceMessage = WM_APP + 3;

// The stream holds this much ahead of what is heard: room for opening the
// next file while the playing one still sounds.
constexpr REFERENCE_TIME kBufferDuration = 2'000'000; // 200 ms

constexpr GUID kFloatSubtype = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

} // namespace

// The thread that owns the sound device: it opens and decodes the files and
// keeps the stream fed. The window thread only leaves it commands.
class WasapiControl::Output {
public:
    explicit Output(HWND window)
        : window_(window)
    {
        wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        audioEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!wake_ || !audioEvent_)
            return;
        thread_ = std::thread([this] { run(); });
        std::unique_lock lock(mutex_);
        started_.wait(lock, [this] { return initDone_; });
    }

    ~Output()
    {
        if (thread_.joinable()) {
            send({Command::Quit, 0, {}});
            thread_.join();
        }
        if (wake_)
            CloseHandle(wake_);
        if (audioEvent_)
            CloseHandle(audioEvent_);
    }

    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool ready() const { return ready_; }
    bool deviceAtStart() const { return deviceAtStart_; }
    int rate() const { return rate_; }
    int channels() const { return channels_; }

    // Drops everything and plays this file, from that many seconds in.
    void start(std::uint64_t id, const std::wstring& path, double fromSeconds)
    {
        send({Command::Start, id, path, fromSeconds});
    }
    // Opens this file now, to sound right after the last one queued.
    void follow(std::uint64_t id, const std::wstring& path) { send({Command::Follow, id, path}); }
    void drop(std::uint64_t id) { send({Command::Drop, id, {}}); }
    void stop() { send({Command::Stop, 0, {}}); }
    void pause(bool on) { send({on ? Command::Pause : Command::Resume, 0, {}}); }

    std::vector<Placement> placements() const
    {
        std::lock_guard lock(mutex_);
        return {placed_.begin(), placed_.end()};
    }

    // Seconds into the file heard now, negative when none is.
    double position() const { return position_; }

private:
    struct Command {
        enum Kind { Start, Follow, Drop, Stop, Pause, Resume, Quit } kind;
        std::uint64_t id = 0;
        std::wstring path;
        double fromSeconds = 0.0;
    };
    struct Track {
        std::uint64_t id = 0;
        std::unique_ptr<MfDecoder> decoder;
        std::int64_t skip = 0;    // frames still to decode and drop before it sounds
        std::int64_t skipped = 0; // frames dropped so far
        std::int64_t first = -1; // stream frame of its first sample, once written
        std::int64_t end = -1;   // stream frame after its last, once all is written
    };

    void send(Command command)
    {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(std::move(command));
        }
        SetEvent(wake_);
    }

    void run()
    {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        const bool ok = SUCCEEDED(com) && MediaFoundation::get();
        // No sound device yet is no reason to give up: the first file looks
        // for one again, as after a device that went away.
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
            const HANDLE handles[] = {wake_, audioEvent_};
            const bool sounding = active_ && !paused_;
            WaitForMultipleObjects(sounding ? 2 : 1, handles, FALSE, sounding ? 50 : INFINITE);
            std::deque<Command> commands;
            {
                std::lock_guard lock(mutex_);
                commands.swap(commands_);
            }
            for (Command& c : commands)
                quit = quit || !handle(c);
            if (!quit && active_ && !paused_) {
                feed();
                checkHeard();
            }
        }
        stopStream();
        tracks_.clear();
        render_.Reset();
        clock_.Reset();
        client_.Reset();
        if (SUCCEEDED(com))
            CoUninitialize();
    }

    bool openDevice()
    {
        ComPtr<IMMDeviceEnumerator> devices;
        ComPtr<IMMDevice> device;
        if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&devices)))
            || FAILED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device))
            || FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, &client_)))
            return false;
        WAVEFORMATEX* mix = nullptr;
        if (FAILED(client_->GetMixFormat(&mix)) || !mix)
            return false;
        // Float samples at the device's own rate and channels: the files
        // are converted to it, so the engine has nothing left to convert.
        WAVEFORMATEXTENSIBLE format{};
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.Format.nChannels = mix->nChannels;
        format.Format.nSamplesPerSec = mix->nSamplesPerSec;
        format.Format.wBitsPerSample = 32;
        format.Format.nBlockAlign = static_cast<WORD>(4 * mix->nChannels);
        format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * mix->nSamplesPerSec;
        format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        format.Samples.wValidBitsPerSample = 32;
        format.dwChannelMask = mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE
            ? reinterpret_cast<WAVEFORMATEXTENSIBLE*>(mix)->dwChannelMask
            : (mix->nChannels == 1 ? SPEAKER_FRONT_CENTER : SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
        format.SubFormat = kFloatSubtype;
        CoTaskMemFree(mix);
        const DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
        const auto* wanted = reinterpret_cast<const WAVEFORMATEX*>(&format);
        // Where the device mixes in another sample format, the engine's own
        // conversion turns the float samples into it.
        if (FAILED(client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, wanted, nullptr))
            && FAILED(client_->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                          flags | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM
                                              | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                                          kBufferDuration, 0, wanted, nullptr)))
            return false;
        if (FAILED(client_->SetEventHandle(audioEvent_)) || FAILED(client_->GetBufferSize(&bufferFrames_))
            || FAILED(client_->GetService(IID_PPV_ARGS(&render_))) || FAILED(client_->GetService(IID_PPV_ARGS(&clock_)))
            || FAILED(clock_->GetFrequency(&clockFrequency_)) || clockFrequency_ == 0)
            return false;
        rate_ = static_cast<int>(format.Format.nSamplesPerSec);
        channels_ = format.Format.nChannels;
        return true;
    }

    // False for Quit.
    bool handle(const Command& c)
    {
        switch (c.kind) {
        case Command::Start:
            stopStream();
            tracks_.clear();
            if (!append(c.id, c.path))
                return true;
            tracks_.back().skip = static_cast<std::int64_t>(std::llround(c.fromSeconds * rate_));
            startStream();
            return true;
        case Command::Follow:
            if (append(c.id, c.path) && !active_)
                startStream(); // nothing left to follow: it starts now
            return true;
        case Command::Drop:
            dropTrack(c.id);
            return true;
        case Command::Stop:
            stopStream();
            tracks_.clear();
            position_ = -1.0;
            return true;
        case Command::Pause:
            if (active_ && !paused_ && SUCCEEDED(client_->Stop()))
                paused_ = true;
            return true;
        case Command::Resume:
            if (paused_ && SUCCEEDED(client_->Start()))
                paused_ = false;
            return true;
        case Command::Quit:
            return false;
        }
        return true;
    }

    // A device that went away is looked for again with the next file: the
    // default one may be another by then, with another rate.
    bool haveDevice()
    {
        if (client_)
            return true;
        render_.Reset();
        clock_.Reset();
        if (openDevice())
            return true;
        client_.Reset();
        return false;
    }

    bool append(std::uint64_t id, const std::wstring& path)
    {
        if (ready_ && !haveDevice()) {
            post(kNoDevice, id);
            return false;
        }
        auto decoder = ready_ ? MfDecoder::open(path, rate_, channels_) : nullptr;
        if (!decoder) {
            post(kFailed, id);
            return false;
        }
        tracks_.push_back({id, std::move(decoder)});
        return true;
    }

    // A file not yet written goes without a trace; one that is, goes from
    // where it is, and what of it the stream already holds still sounds.
    void dropTrack(std::uint64_t id)
    {
        const auto it = std::find_if(tracks_.begin(), tracks_.end(), [id](const Track& t) { return t.id == id; });
        if (it == tracks_.end())
            return;
        const auto index = static_cast<std::size_t>(it - tracks_.begin());
        if (index == writing_) {
            pending_.clear();
            pendingAt_ = 0;
        }
        if (index < writing_)
            --writing_;
        tracks_.erase(it);
    }

    void startStream()
    {
        written_ = 0;
        pending_.clear();
        pendingAt_ = 0;
        writing_ = 0;
        active_ = true;
        paused_ = false;
        feed(); // a full buffer before the clock runs
        if (active_ && FAILED(client_->Start()))
            fail();
    }

    void stopStream()
    {
        if (!active_)
            return;
        client_->Stop();
        client_->Reset();
        active_ = false;
        paused_ = false;
    }

    // Fills the stream's free room: the files' samples one after another,
    // silence after the last.
    void feed()
    {
        UINT32 padding = 0;
        BYTE* data = nullptr;
        if (FAILED(client_->GetCurrentPadding(&padding))) {
            fail();
            return;
        }
        const UINT32 room = bufferFrames_ - std::min(padding, bufferFrames_);
        if (room == 0)
            return;
        if (FAILED(render_->GetBuffer(room, &data))) {
            fail();
            return;
        }
        auto* out = reinterpret_cast<float*>(data);
        const auto channels = static_cast<std::size_t>(channels_);
        std::size_t done = 0;
        while (done < room) {
            if (pendingAt_ >= pending_.size()) {
                pending_.clear();
                pendingAt_ = 0;
                if (writing_ >= tracks_.size()) {
                    std::memset(out + done * channels, 0, (room - done) * channels * sizeof(float));
                    break;
                }
                Track& track = tracks_[writing_];
                if (track.first < 0)
                    track.first = written_ + static_cast<std::int64_t>(done);
                if (!track.decoder->read(pending_)) {
                    track.end = written_ + static_cast<std::int64_t>(done);
                    track.decoder.reset();
                    place(track);
                    ++writing_;
                } else if (track.skip > 0) {
                    // Sample-exact: what comes before the start is decoded
                    // and dropped, never heard.
                    const auto frames = static_cast<std::int64_t>(pending_.size() / channels);
                    const std::int64_t dropped = std::min(track.skip, frames);
                    pendingAt_ = static_cast<std::size_t>(dropped) * channels;
                    track.skip -= dropped;
                    track.skipped += dropped;
                }
                continue;
            }
            const std::size_t frames = std::min<std::size_t>(room - done, (pending_.size() - pendingAt_) / channels);
            std::memcpy(out + done * channels, pending_.data() + pendingAt_, frames * channels * sizeof(float));
            pendingAt_ += frames * channels;
            done += frames;
        }
        if (FAILED(render_->ReleaseBuffer(room, 0))) {
            fail();
            return;
        }
        written_ += room;
    }

    // Reports each file whose last sample the device has played; the stream
    // stops once the last file is heard, so that idle costs nothing.
    void checkHeard()
    {
        if (!active_)
            return;
        UINT64 position = 0;
        if (FAILED(clock_->GetPosition(&position, nullptr))) {
            fail();
            return;
        }
        const auto heard = static_cast<std::int64_t>(position * static_cast<UINT64>(rate_) / clockFrequency_);
        while (!tracks_.empty() && tracks_.front().end >= 0 && tracks_.front().end <= heard) {
            post(kEnded, tracks_.front().id);
            tracks_.pop_front();
            --writing_;
        }
        if (tracks_.empty())
            stopStream();
        const Track* now = tracks_.empty() ? nullptr : &tracks_.front();
        position_ = now && now->first >= 0 && heard >= now->first
            ? static_cast<double>(heard - now->first + now->skipped) / rate_
            : (now ? static_cast<double>(now->skipped) / rate_ : -1.0);
    }

    // The device went away or refused the stream: every file it held fails,
    // for want of a device rather than by its own fault.
    void fail()
    {
        for (const Track& t : tracks_)
            post(kNoDevice, t.id);
        tracks_.clear();
        if (client_)
            client_->Stop();
        render_.Reset();
        clock_.Reset();
        client_.Reset();
        active_ = false;
        paused_ = false;
    }

    void place(const Track& track)
    {
        std::lock_guard lock(mutex_);
        placed_.push_back({track.id, track.first, track.end});
        if (placed_.size() > 32)
            placed_.pop_front();
    }

    void post(WPARAM what, std::uint64_t id)
    {
        PostMessageW(window_, kOutputMessage, what, static_cast<LPARAM>(id));
    }

    HWND window_;
    HANDLE wake_ = nullptr;
    HANDLE audioEvent_ = nullptr;
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

    // The output thread's own.
    ComPtr<IAudioClient> client_;
    ComPtr<IAudioRenderClient> render_;
    ComPtr<IAudioClock> clock_;
    UINT64 clockFrequency_ = 0;
    UINT32 bufferFrames_ = 0;
    bool active_ = false; // the stream runs or is paused
    bool paused_ = false;
    std::deque<Track> tracks_; // not yet heard, in order
    std::size_t writing_ = 0;  // the track whose samples go out now
    std::vector<float> pending_;
    std::size_t pendingAt_ = 0;
    std::int64_t written_ = 0; // frames since the stream started
};

WasapiControl::WasapiControl()
{
    window_ = win::createMessageWindow(kWindowClass, &WasapiControl::windowProc, this);
    if (!window_)
        return;
    output_ = std::make_unique<Output>(window_);
}

WasapiControl::~WasapiControl()
{
    output_.reset();
    // Whatever the output thread posted goes with the window.
    if (window_)
        DestroyWindow(window_);
}

bool WasapiControl::isReady() const
{
    return output_ && output_->ready();
}

bool WasapiControl::hadDeviceAtStart() const
{
    return isReady() && output_->deviceAtStart();
}

std::vector<WasapiControl::Placement> WasapiControl::placements() const
{
    return output_ ? output_->placements() : std::vector<Placement>{};
}

int WasapiControl::outputRate() const
{
    return isReady() ? output_->rate() : 0;
}

int WasapiControl::outputChannels() const
{
    return isReady() ? output_->channels() : 0;
}

void WasapiControl::open()
{
    // One file at a time: opening another ends whatever was open before,
    // except the next file that already sounds where the last one ended.
    const std::string& path = fileName();
    if (prepared_.state == NextFile::Started && path == prepared_.path)
        pendingCompletion_ = 0;
    else
        closeNow();
    openedPath_ = path;
    fileOpen_ = true;
}

void WasapiControl::play()
{
    const double startAt = takeStartPosition();
    if (!fileOpen_)
        return;
    pendingCompletion_ = 0;
    if (prepared_.state == NextFile::Started && openedPath_ == prepared_.path) {
        sounding_.clear();
        const bool heard = prepared_.heard;
        current_ = heard ? 0 : prepared_.id;
        prepared_ = {};
        if (heard)
            completeLater(NotifySuccessful);
        return;
    }
    // Starting over drops all the stream holds, the next file with it.
    prepared_ = {};
    paused_ = false;
    current_ = ++lastId_;
    const auto path = win::fullPath(openedPath_);
    if (!isReady() || !path) {
        current_ = 0;
        completeLater(NotifyFailure);
        return;
    }
    output_->start(current_, *path, startAt);
}

double WasapiControl::position() const
{
    return current_ != 0 && isReady() ? output_->position() : -1.0;
}

void WasapiControl::togglePause()
{
    if (!isReady() || (current_ == 0 && prepared_.state != NextFile::Started))
        return;
    paused_ = !paused_;
    output_->pause(paused_);
}

void WasapiControl::close()
{
    if (current_ == 0 && !answeringDone_ && !sounding_.held() && prepared_.state == NextFile::Started) {
        fileOpen_ = false;
        openedPath_.clear();
        pendingCompletion_ = 0;
        const std::uint64_t serial = sounding_.silenceLater();
        if (serial != 0 && !(window_ && PostMessageW(window_, kSilenceMessage, static_cast<WPARAM>(serial), 0)))
            closeNow();
        return;
    }
    closeNow();
}

void WasapiControl::setNotify(bool notify)
{
    if (!notify)
        sounding_.newStart();
}

void WasapiControl::onSilence(WPARAM serial)
{
    if (sounding_.silenceDue(static_cast<std::uint64_t>(serial)))
        closeNow();
}

void WasapiControl::closeNow()
{
    sounding_.clear();
    const bool wasPlaying = current_ != 0;
    current_ = 0;
    pendingCompletion_ = 0;
    fileOpen_ = false;
    openedPath_.clear();
    if (answeringDone_ && !wasPlaying) {
        // The answer to a completion: the next file, if one sounds, plays on.
        if (prepared_.state != NextFile::Started)
            paused_ = false;
        return;
    }
    paused_ = false;
    prepared_ = {};
    if (isReady())
        output_->stop();
}

void WasapiControl::setNextFileName(const std::string& path)
{
    // A hint for after the file that already follows comes once that one is
    // taken over.
    if (prepared_.state == NextFile::Started)
        return;
    if (prepared_.state == NextFile::Queued) {
        if (prepared_.path == path)
            return;
        output_->drop(prepared_.id);
        prepared_ = {};
    }
    const auto wide = win::fullPath(path);
    if (!wide || current_ == 0 || !isReady())
        return;
    prepared_ = {NextFile::Queued, path, ++lastId_};
    output_->follow(prepared_.id, *wide);
}

void WasapiControl::onEnded(std::uint64_t id)
{
    if (id == current_) {
        current_ = 0;
        if (prepared_.state == NextFile::Queued)
            prepared_.state = NextFile::Started;
        complete(NotifySuccessful);
    } else if (prepared_.state == NextFile::Started && id == prepared_.id) {
        prepared_.heard = true;
    }
}

void WasapiControl::onFailed(std::uint64_t id, int notifyCode)
{
    if (id == current_) {
        current_ = 0;
        // What would follow the file now starts in its place: it goes, and
        // the player's own "Play" of it starts it.
        if (prepared_.state != NextFile::None) {
            prepared_ = {};
            output_->stop();
        }
        complete(notifyCode);
    } else if (prepared_.state != NextFile::None && id == prepared_.id) {
        prepared_ = {};
    }
}

void WasapiControl::completeLater(int notifyCode)
{
    const std::uint64_t serial = ++completionSerial_;
    pendingCompletion_ = serial;
    if (window_ && PostMessageW(window_, kCompletionMessage, static_cast<WPARAM>(serial), notifyCode))
        return;
    pendingCompletion_ = 0;
    complete(notifyCode);
}

void WasapiControl::onCompletion(WPARAM serial, LPARAM notifyCode)
{
    if (serial == 0 || serial != pendingCompletion_)
        return;
    pendingCompletion_ = 0;
    complete(static_cast<int>(notifyCode));
}

// The "Close" with which the player answers a completion is told apart from
// any other: it must not silence the next file that already sounds.
void WasapiControl::complete(int notifyCode)
{
    const bool outer = answeringDone_;
    answeringDone_ = true;
    raiseDone(notifyCode);
    answeringDone_ = outer;
}

LRESULT CALLBACK WasapiControl::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<WasapiControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kOutputMessage) {
        const auto id = static_cast<std::uint64_t>(lParam);
        if (wParam == kEnded)
            self->onEnded(id);
        else
            self->onFailed(id, wParam == kNoDevice ? NotifyNoDevice : NotifyFailure);
        return 0;
    }
    if (self && message == kCompletionMessage) {
        self->onCompletion(wParam, lParam);
        return 0;
    }
    if (self && message == kSilenceMessage) {
        self->onSilence(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace orvane
