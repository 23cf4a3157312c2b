#include "qt/mpg123_decoder.h"

#include <mpg123.h>

#include <memory>
#include <vector>

namespace orvane {

namespace {

struct HandleGone {
    void operator()(mpg123_handle* handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

} // namespace

bool Mpg123Decoder::decode(const std::string& path, const Take& take)
{
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleGone> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return false;
    mpg123_handle* h = handle.get();
    // Quiet on damaged frames (they are skipped, as in playing); floats at
    // whatever rate and channels the file has.
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(h);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(h, path.c_str()) != MPG123_OK)
        return false;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    std::vector<float> piece(16384);
    bool sound = false;
    for (;;) {
        std::size_t bytes = 0;
        const int result = mpg123_read(h, piece.data(), piece.size() * sizeof(float), &bytes);
        if (result == MPG123_NEW_FORMAT) {
            if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || encoding != MPG123_ENC_FLOAT_32)
                return false;
            continue;
        }
        if (bytes > 0 && rate > 0 && channels > 0) {
            sound = true;
            if (!take(static_cast<int>(rate), channels, {piece.data(), bytes / sizeof(float)}))
                return false;
        }
        if (result == MPG123_DONE)
            return sound;
        if (result != MPG123_OK)
            return false;
    }
}

} // namespace orvane
