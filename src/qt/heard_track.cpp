#include "qt/heard_track.h"

#include "qt/frm_orvane.h"

#include <QFile>

namespace orvane {

namespace {

QString fileName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return QFile::decodeName(QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
}

} // namespace

HeardTrack::HeardTrack(frmOrvane& window, QObject* parent)
    : QObject(parent)
    , window_(&window)
{
    connect(&window, &frmOrvane::controlsChanged, this, [this] {
        if (window_->player().PlayOn == 0)
            lastHeard_ = {}; // a new start shows nothing until its first file plays
        emit changed();
    });
    hearing_ = window.player().nowPlayingChanged().connect([this] {
        const MMControl::NowPlaying now = window_->mmControl().nowPlaying();
        if (!now.path.empty())
            lastHeard_ = now;
        emit changed();
    });
}

HeardTrack::~HeardTrack()
{
    if (window_)
        window_->player().nowPlayingChanged().disconnect(hearing_);
}

MMControl::NowPlaying HeardTrack::heard() const
{
    if (!window_)
        return {};
    const MMControl::NowPlaying now = window_->mmControl().nowPlaying();
    return now.path.empty() ? lastHeard_ : now;
}

QString HeardTrack::title() const
{
    const MMControl::NowPlaying now = heard();
    if (now.path.empty())
        return {};
    return now.title.empty() ? fileName(now.path) : QString::fromStdString(now.title);
}

} // namespace orvane
