#pragma once

#include "media/mm_control.h"
#include "platform/signal.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace orvane {

class frmOrvane;

// The file a listener hears, as the desktop's media controls and the window's
// accessible description tell it: the file the media control has open, or
// between two files of a running sequence the one that has just ended, so that
// neither blanks out at every change. A new start forgets it until its first
// file sounds.
//
// It must not outlive the window.
class HeardTrack : public QObject {
    Q_OBJECT
public:
    explicit HeardTrack(frmOrvane& window, QObject* parent = nullptr);
    ~HeardTrack() override;

    MMControl::NowPlaying heard() const;
    // The file's title tag, else its name; empty when nothing has been heard.
    QString title() const;

signals:
    // The controls or the file heard may have changed.
    void changed();

private:
    QPointer<frmOrvane> window_;
    MMControl::NowPlaying lastHeard_;
    Signal<>::Handle hearing_ = 0;
};

} // namespace orvane
