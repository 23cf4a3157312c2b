#include "win32/wasapi_next_file.h"

#include "platform/win_text.h"

#include <utility>

namespace orvane {

WasapiNextFile::WasapiNextFile(WasapiStream& stream, std::function<bool()> canFollow)
    : stream_(stream)
    , canFollow_(std::move(canFollow))
{
}

void WasapiNextFile::name(const std::string& path)
{
    // A hint for after the file that already follows comes once that one is
    // taken over.
    if (state_ == State::Started)
        return;
    if (state_ == State::Queued) {
        if (path_ == path)
            return;
        drop(false);
    }
    const auto wide = win::fullPath(path);
    if (!wide || !canFollow_() || !stream_.ready())
        return;
    state_ = State::Queued;
    path_ = path;
    entry_ = stream_.loadAfter(*wide);
}

void WasapiNextFile::drop(bool stopping)
{
    if (state_ == State::None)
        return;
    if (!stopping)
        stream_.removeEntry(entry_);
    forget();
}

WasapiNextFile::Taken WasapiNextFile::take()
{
    const Taken taken{entry_, heard_};
    forget();
    return taken;
}

void WasapiNextFile::playingEnded()
{
    if (state_ == State::Queued)
        state_ = State::Started;
}

bool WasapiNextFile::entryEnded(std::uint64_t entry, WasapiStream::End end)
{
    if (!isEntry(entry) || state_ == State::None)
        return false;
    if (end != WasapiStream::End::PlayedOut)
        forget();
    else if (state_ == State::Started)
        heard_ = true;
    return true;
}

void WasapiNextFile::forget()
{
    state_ = State::None;
    path_.clear();
    entry_ = 0;
    heard_ = false;
}

} // namespace orvane
