#pragma once

#include "platform/win_api.h"

#include <cstdint>
#include <wrl/client.h>

struct IAudioClient;
struct IAudioRenderClient;
struct IAudioClock;
struct tWAVEFORMATEX;

namespace orvane {

// The default sound device as one shared stream of float samples at the
// device's own rate and channels, its room signalled on an event. The files
// are converted to that format before they reach it, so that the engine has
// nothing left to convert. Used by one thread, the one that opened it; every
// call but open fails while it is closed.
class WasapiDevice {
public:
    WasapiDevice();
    ~WasapiDevice();

    WasapiDevice(const WasapiDevice&) = delete;
    WasapiDevice& operator=(const WasapiDevice&) = delete;

    // False, holding nothing, when there is no device or it refuses the
    // stream. The event is set whenever the stream has room for more.
    bool open(HANDLE roomEvent);
    void close();
    bool isOpen() const;

    bool start();
    bool pause();
    // Stops the clock and drops what the stream holds.
    void stop();

    // The frames the stream has room for now.
    bool room(std::uint32_t& frames) const;
    // Room for that many frames, to be filled and then handed over.
    float* buffer(std::uint32_t frames);
    bool release(std::uint32_t frames);
    // Frames the device has played since the stream last started.
    bool heardFrames(std::int64_t& frames) const;

    int rate() const { return rate_; }
    int channels() const { return channels_; }

private:
    bool initialize(const tWAVEFORMATEX& mix, HANDLE roomEvent);

    Microsoft::WRL::ComPtr<IAudioClient> client_;
    Microsoft::WRL::ComPtr<IAudioRenderClient> render_;
    Microsoft::WRL::ComPtr<IAudioClock> clock_;
    UINT64 clockFrequency_ = 0;
    UINT32 bufferFrames_ = 0;
    int rate_ = 0;
    int channels_ = 0;
};

} // namespace orvane
