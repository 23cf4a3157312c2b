#include "win32/wasapi_device.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <objbase.h>

#include <algorithm>

namespace orvane {

using Microsoft::WRL::ComPtr;

namespace {

// The stream holds this much ahead of what is heard: room for opening the
// next file while the playing one still sounds.
constexpr REFERENCE_TIME kBufferDuration = 2'000'000; // 200 ms

constexpr GUID kFloatSubtype = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// Float samples at the device's own rate and channels.
WAVEFORMATEXTENSIBLE floatFormatLike(const WAVEFORMATEX& mix)
{
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = mix.nChannels;
    format.Format.nSamplesPerSec = mix.nSamplesPerSec;
    format.Format.wBitsPerSample = 32;
    format.Format.nBlockAlign = static_cast<WORD>(4 * mix.nChannels);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * mix.nSamplesPerSec;
    format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = 32;
    format.dwChannelMask = mix.wFormatTag == WAVE_FORMAT_EXTENSIBLE
        ? reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(&mix)->dwChannelMask
        : (mix.nChannels == 1 ? SPEAKER_FRONT_CENTER : SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
    format.SubFormat = kFloatSubtype;
    return format;
}

} // namespace

WasapiDevice::WasapiDevice() = default;

WasapiDevice::~WasapiDevice() = default;

bool WasapiDevice::open(HANDLE roomEvent)
{
    close();
    ComPtr<IMMDeviceEnumerator> devices;
    ComPtr<IMMDevice> device;
    WAVEFORMATEX* mix = nullptr;
    const bool found =
        SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, IID_PPV_ARGS(&devices)))
        && SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device))
        && SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, &client_))
        && SUCCEEDED(client_->GetMixFormat(&mix)) && mix;
    const bool opened = found && initialize(*mix, roomEvent);
    if (mix)
        CoTaskMemFree(mix);
    if (!opened)
        close();
    return opened;
}

bool WasapiDevice::initialize(const WAVEFORMATEX& mix, HANDLE roomEvent)
{
    const WAVEFORMATEXTENSIBLE format = floatFormatLike(mix);
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
    if (FAILED(client_->SetEventHandle(roomEvent)) || FAILED(client_->GetBufferSize(&bufferFrames_))
        || FAILED(client_->GetService(IID_PPV_ARGS(&render_))) || FAILED(client_->GetService(IID_PPV_ARGS(&clock_)))
        || FAILED(clock_->GetFrequency(&clockFrequency_)) || clockFrequency_ == 0)
        return false;
    rate_ = static_cast<int>(format.Format.nSamplesPerSec);
    channels_ = format.Format.nChannels;
    return true;
}

void WasapiDevice::close()
{
    render_.Reset();
    clock_.Reset();
    client_.Reset();
}

bool WasapiDevice::isOpen() const
{
    return client_ != nullptr;
}

bool WasapiDevice::start()
{
    return client_ && SUCCEEDED(client_->Start());
}

bool WasapiDevice::pause()
{
    return client_ && SUCCEEDED(client_->Stop());
}

void WasapiDevice::stop()
{
    if (!client_)
        return;
    client_->Stop();
    client_->Reset();
}

bool WasapiDevice::room(std::uint32_t& frames) const
{
    UINT32 padding = 0;
    if (!client_ || FAILED(client_->GetCurrentPadding(&padding)))
        return false;
    frames = bufferFrames_ - std::min(padding, bufferFrames_);
    return true;
}

float* WasapiDevice::buffer(std::uint32_t frames)
{
    BYTE* data = nullptr;
    if (!render_ || FAILED(render_->GetBuffer(frames, &data)))
        return nullptr;
    return reinterpret_cast<float*>(data);
}

bool WasapiDevice::release(std::uint32_t frames)
{
    return render_ && SUCCEEDED(render_->ReleaseBuffer(frames, 0));
}

bool WasapiDevice::heardFrames(std::int64_t& frames) const
{
    UINT64 position = 0;
    if (!clock_ || FAILED(clock_->GetPosition(&position, nullptr)))
        return false;
    frames = static_cast<std::int64_t>(position * static_cast<UINT64>(rate_) / clockFrequency_);
    return true;
}

} // namespace orvane
