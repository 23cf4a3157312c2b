#include "win32/wasapi_control.h"

#include "platform/win_text.h"
#include "win32/win_window.h"

namespace orvane {

namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneWasapiControl";
// A completion due to the player, by serial.
constexpr UINT kCompletionMessage = WM_APP + 2;
// A next file left sounding by a "Close" is silenced now, by serial.
constexpr UINT kSilenceMessage = WM_APP + 3;

int notifyCodeOf(WasapiStream::End end)
{
    switch (end) {
    case WasapiStream::End::PlayedOut: return MMControl::NotifySuccessful;
    case WasapiStream::End::NoDevice: return MMControl::NotifyNoDevice;
    case WasapiStream::End::Unopenable: break;
    }
    return MMControl::NotifyFailure;
}

} // namespace

WasapiControl::WasapiControl()
    : window_(win::createMessageWindow(kWindowClass, &WasapiControl::windowProc, this))
    , stream_(*this)
    , next_(stream_, [this] { return currentEntry_ != 0; })
{
    // On the file's own reading thread, which may wait for the tags.
    stream_.setLevel([this](const std::wstring& path) -> std::optional<double> {
        const std::optional<std::string> utf8 = win::toUtf8(path);
        return utf8 ? levelOf(*utf8, std::chrono::seconds(5)) : std::nullopt;
    });
}

WasapiControl::~WasapiControl()
{
    // Whatever was posted to the control goes with its window.
    if (window_)
        DestroyWindow(window_);
}

double WasapiControl::position() const
{
    return currentEntry_ != 0 && isReady() ? stream_.position() : -1.0;
}

// Once the stream has begun the file: before that there is no place in it
// to move from.
bool WasapiControl::canSeek() const
{
    return position() >= 0.0;
}

void WasapiControl::seek(double seconds)
{
    if (canSeek())
        stream_.seek(currentEntry_, seconds);
}

void WasapiControl::open()
{
    // One file at a time: opening another ends whatever was open before,
    // except the next file that already sounds where the last one ended.
    const std::string& path = fileName();
    if (next_.startedAs(path))
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
    if (next_.startedAs(openedPath_)) {
        takeOverNext();
        return;
    }
    // Starting over drops all the stream holds, the next file with it.
    next_.drop(true);
    paused_ = false;
    currentEntry_ = 0;
    const auto path = win::fullPath(openedPath_);
    if (!isReady() || !path) {
        completeLater(NotifyFailure);
        return;
    }
    currentEntry_ = stream_.loadReplacing(*path, startAt);
}

// The next file sounds already, maybe heard to its end by now.
void WasapiControl::takeOverNext()
{
    sounding_.clear();
    const WasapiNextFile::Taken taken = next_.take();
    currentEntry_ = taken.heard ? 0 : taken.entry;
    if (taken.heard)
        completeLater(NotifySuccessful);
}

void WasapiControl::togglePause()
{
    if (!isReady() || (currentEntry_ == 0 && next_.state() != NextFile::Started))
        return;
    paused_ = !paused_;
    stream_.setPaused(paused_);
}

// A "Close" that finds only the next file sounding may leave it sounding
// through a Stop and a new start (SoundingNextFile).
void WasapiControl::close()
{
    if (currentEntry_ == 0 && !answeringDone_ && !sounding_.held() && next_.state() == NextFile::Started) {
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
    const bool wasPlaying = currentEntry_ != 0;
    currentEntry_ = 0;
    pendingCompletion_ = 0;
    fileOpen_ = false;
    openedPath_.clear();
    if (answeringDone_ && !wasPlaying) {
        // The answer to a completion: the next file, if one sounds, plays on.
        if (next_.state() != NextFile::Started)
            paused_ = false;
        return;
    }
    paused_ = false;
    next_.drop(true);
    if (isReady())
        stream_.stop();
}

void WasapiControl::setNextFileName(const std::string& path)
{
    next_.name(path);
    if (const std::optional<std::string> full = win::fullUtf8Path(path))
        levelAhead(*full);
}

// As the stream asks for their levels: full paths, in UTF-8.
void WasapiControl::setFolderAhead(const std::vector<std::string>& paths)
{
    levelFolderAhead(win::fullUtf8Paths(paths));
}

void WasapiControl::entryEnded(std::uint64_t entry, WasapiStream::End end)
{
    if (entry != currentEntry_) {
        next_.entryEnded(entry, end);
        return;
    }
    currentEntry_ = 0;
    if (end == WasapiStream::End::PlayedOut) {
        next_.playingEnded();
    } else if (next_.state() != NextFile::None) {
        // What would follow the file now starts in its place: it goes, and
        // the player's own "Play" of it starts it.
        next_.drop(true);
        stream_.stop();
    }
    complete(notifyCodeOf(end));
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
