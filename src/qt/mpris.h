#pragma once

#include "media/mm_control.h"
#include "player/control_model.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <string>

namespace orvane {

class frmOrvane;
class HeardTrack;
class Player;

// A local path as a file:// URL. Every byte outside the unreserved set is
// percent-encoded, so a name that is not UTF-8 comes back byte for byte.
QString fileUrl(const std::string& path);

// The player as the desktop's media controls see it (MPRIS 2: the interfaces
// org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player), apart from the
// bus. The commands are the tray menu's items and act only while their item
// is enabled, as a click on a disabled item does nothing. The Can properties
// say what a client may ask for at all, as MPRIS clients read them: playback
// can be started and paused all through a sequence, even while the Play or
// Pause item is greyed out (asking for the state already reached does
// nothing). It reads the player through the window's player, control model and media
// control, and reports what changed once per burst of changes.
//
// It must not outlive the window.
class MprisPlayer : public QObject {
    Q_OBJECT
public:
    static constexpr const char* DesktopEntry = "org.example.orvane";
    static constexpr const char* Identity = "Orvane";

    explicit MprisPlayer(frmOrvane& window, QObject* parent = nullptr);
    ~MprisPlayer() override;

    void Play();      // mnuPlay_Click
    void Pause();     // mnuPause_Click
    void PlayPause(); // Pause while that item is enabled, else Play
    void Stop();      // mnuStop_Click
    void Next();      // mnuSkip_Click
    void Raise();     // mnuSettings_Click

    QString playbackStatus() const; // "Playing", "Paused" or "Stopped"
    bool canPlay() const;   // Play can be chosen, or a sequence runs
    bool canPause() const;  // Pause can be chosen, or playback is paused
    bool canGoNext() const; // Skip can be chosen: Next changes the file
    QVariantMap metadata() const;
    qlonglong positionUs() const;

    // Shuffle Folders, and Repeat All as the loop status ("None" or
    // "Playlist"). A set acts only while its item or check box can be chosen;
    // a set that cannot act, or "Track" (no repeat of one file here), leaves
    // the state as it was, and the value is reported again so that a client
    // that showed the one it asked for comes back to the player's own.
    bool shuffle() const;
    void setShuffle(bool on);
    QString loopStatus() const;
    void setLoopStatus(const QString& status);

    // Reports at once what has changed since the last report; the event loop
    // does this by itself after each burst of changes.
    void flush();

signals:
    // The Player interface's properties whose values changed, with their new
    // values, as PropertiesChanged carries them.
    void propertiesChanged(const QVariantMap& changed);

private:
    struct Report {
        QString status;
        bool canPlay = false;
        bool canPause = false;
        bool canGoNext = false;
        QVariantMap metadata;
        bool shuffle = false;
        QString loopStatus;
    };

    bool itemEnabled(Ctl item) const;
    bool acting() const;
    Player& player() const;
    Report current() const;
    void changed();

    QPointer<frmOrvane> window_;
    HeardTrack* heard_;
    void reportAgain(const QString& property, const QVariant& value);

    Report reported_;
    QVariantMap again_; // refused sets, reported with the values they left
    bool flushQueued_ = false;
};

// MprisPlayer on the session bus as org.mpris.MediaPlayer2.orvane (with an
// instance suffix when another Orvane holds that name), at
// /org/mpris/MediaPlayer2. Leaves the bus when the main window unloads.
class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* ServiceName = "org.mpris.MediaPlayer2.orvane";
    static constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";

    // Null, quietly, when there is no session bus or it refuses the player.
    static std::unique_ptr<MprisService> start(frmOrvane& window,
                                               QDBusConnection bus = QDBusConnection::sessionBus());
    ~MprisService() override;

    const QString& serviceName() const { return serviceName_; }
    MprisPlayer& player() { return *player_; }

private:
    MprisService(frmOrvane& window, QDBusConnection bus);
    bool registerOnBus();
    void leaveBus();
    void sendPropertiesChanged(const QVariantMap& changed);

    QDBusConnection bus_;
    MprisPlayer* player_;
    QString serviceName_;
    bool registered_ = false;
};

} // namespace orvane
