#include "qt/mpris.h"

#include "qt/frm_orvane.h"
#include "qt/heard_track.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>

#include <unistd.h>

namespace orvane {

namespace {

constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* TrackPathPrefix = "/org/example/orvane/track/";

bool unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
        || c == '.' || c == '_' || c == '~' || c == '/';
}

} // namespace

QString fileUrl(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QString url = QStringLiteral("file://");
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (unreserved(c)) {
            url += QLatin1Char(static_cast<char>(c));
        } else {
            url += QLatin1Char('%');
            url += QLatin1Char(hex[c >> 4]);
            url += QLatin1Char(hex[c & 0xf]);
        }
    }
    return url;
}

// --- MprisPlayer -------------------------------------------------------------

MprisPlayer::MprisPlayer(frmOrvane& window, QObject* parent)
    : QObject(parent)
    , window_(&window)
    , heard_(new HeardTrack(window, this))
{
    connect(heard_, &HeardTrack::changed, this, [this] { changed(); });
    reported_ = current();
}

MprisPlayer::~MprisPlayer() = default;

Player& MprisPlayer::player() const
{
    return window_->player();
}

bool MprisPlayer::itemEnabled(Ctl item) const
{
    return window_ && window_->controls().enabled(item);
}

// A window that has unloaded takes no more commands, whatever its items say.
bool MprisPlayer::acting() const
{
    return window_ && !window_->isUnloaded();
}

bool MprisPlayer::canPlay() const
{
    return itemEnabled(Ctl::mnuPlay) || (window_ && player().PlayOn == 1);
}

// During the walk of a new start Pause is not offered yet and nothing plays:
// there is nothing to pause.
bool MprisPlayer::canPause() const
{
    return itemEnabled(Ctl::mnuPause) || playbackStatus() == QLatin1String("Paused");
}

bool MprisPlayer::canGoNext() const
{
    return itemEnabled(Ctl::mnuSkip);
}

void MprisPlayer::Play()
{
    if (window_)
        window_->mediaKey(MediaKey::Play);
}

void MprisPlayer::Pause()
{
    if (window_)
        window_->mediaKey(MediaKey::Pause);
}

void MprisPlayer::PlayPause()
{
    if (window_)
        window_->mediaKey(MediaKey::PlayPause);
}

void MprisPlayer::Stop()
{
    if (window_)
        window_->mediaKey(MediaKey::Stop);
}

void MprisPlayer::Next()
{
    if (window_)
        window_->mediaKey(MediaKey::Next);
}

void MprisPlayer::Raise()
{
    if (acting())
        window_->mnuSettings_Click();
}

QString MprisPlayer::playbackStatus() const
{
    if (!window_ || player().PlayOn != 1)
        return QStringLiteral("Stopped");
    return player().Paused ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QVariantMap MprisPlayer::metadata() const
{
    if (playbackStatus() == QLatin1String("Stopped"))
        return {};
    const MMControl::NowPlaying now = heard_->heard();
    if (now.path.empty())
        return {};
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(TrackPathPrefix + QString::number(now.serial))));
    map.insert(QStringLiteral("xesam:url"), fileUrl(now.path));
    map.insert(QStringLiteral("xesam:title"), heard_->title());
    if (!now.artist.empty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromStdString(now.artist)});
    if (!now.album.empty())
        map.insert(QStringLiteral("xesam:album"), QString::fromStdString(now.album));
    if (now.lengthUs >= 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(now.lengthUs));
    return map;
}

qlonglong MprisPlayer::positionUs() const
{
    const double seconds = window_ ? window_->mmControl().position() : -1.0;
    return seconds > 0 ? qlonglong(seconds * 1e6) : 0;
}

bool MprisPlayer::shuffle() const
{
    return window_ && window_->controls().shuffle();
}

void MprisPlayer::setShuffle(bool on)
{
    if (!acting() || !window_->mnuShuffle_Click(on))
        reportAgain(QStringLiteral("Shuffle"), shuffle());
}

QString MprisPlayer::loopStatus() const
{
    return window_ && window_->controls().ckRepeat() == 1 ? QStringLiteral("Playlist") : QStringLiteral("None");
}

void MprisPlayer::setLoopStatus(const QString& status)
{
    const bool known = status == QLatin1String("None") || status == QLatin1String("Playlist");
    if (known && acting() && itemEnabled(Ctl::ckRepeat)) {
        const bool on = status == QLatin1String("Playlist");
        if (on != (window_->controls().ckRepeat() == 1))
            window_->click("ckRepeat", on);
        return;
    }
    reportAgain(QStringLiteral("LoopStatus"), loopStatus());
}

void MprisPlayer::reportAgain(const QString& property, const QVariant& value)
{
    again_.insert(property, value);
    changed();
}

MprisPlayer::Report MprisPlayer::current() const
{
    return {playbackStatus(), canPlay(), canPause(), canGoNext(), metadata(), shuffle(), loopStatus()};
}

// A command changes many controls one by one; they are reported together
// once the command has returned to the event loop.
void MprisPlayer::changed()
{
    if (flushQueued_)
        return;
    flushQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        if (flushQueued_)
            flush();
    });
}

void MprisPlayer::flush()
{
    flushQueued_ = false;
    if (!window_)
        return;
    const Report now = current();
    QVariantMap changes;
    if (now.status != reported_.status)
        changes.insert(QStringLiteral("PlaybackStatus"), now.status);
    if (now.canPlay != reported_.canPlay)
        changes.insert(QStringLiteral("CanPlay"), now.canPlay);
    if (now.canPause != reported_.canPause)
        changes.insert(QStringLiteral("CanPause"), now.canPause);
    if (now.canGoNext != reported_.canGoNext)
        changes.insert(QStringLiteral("CanGoNext"), now.canGoNext);
    if (now.metadata != reported_.metadata)
        changes.insert(QStringLiteral("Metadata"), now.metadata);
    if (now.shuffle != reported_.shuffle)
        changes.insert(QStringLiteral("Shuffle"), now.shuffle);
    if (now.loopStatus != reported_.loopStatus)
        changes.insert(QStringLiteral("LoopStatus"), now.loopStatus);
    for (auto it = again_.cbegin(); it != again_.cend(); ++it) {
        if (!changes.contains(it.key()))
            changes.insert(it.key(), it.value());
    }
    again_.clear();
    reported_ = now;
    if (!changes.isEmpty())
        emit propertiesChanged(changes);
}

// --- the bus -------------------------------------------------------------------

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ no)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool CanSetFullscreen READ no)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

public:
    explicit MprisRootAdaptor(MprisPlayer* player)
        : QDBusAbstractAdaptor(player)
        , player_(player)
    {
    }

    bool no() const { return false; }
    bool yes() const { return true; }
    QString identity() const { return QString::fromLatin1(MprisPlayer::Identity); }
    QString desktopEntry() const { return QString::fromLatin1(MprisPlayer::DesktopEntry); }
    QStringList none() const { return {}; }

public slots:
    void Raise() { player_->Raise(); }
    void Quit() {} // CanQuit is false: Exit stays the user's own choice

private:
    MprisPlayer* player_;
};

// Previous, Seek and SetPosition have nothing to do (CanGoPrevious and
// CanSeek are false); OpenUri is refused: the player opens only the files
// of its play path.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(double Volume READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)

public:
    MprisPlayerAdaptor(MprisPlayer* player, const QDBusConnection& bus)
        : QDBusAbstractAdaptor(player)
        , player_(player)
        , bus_(bus)
    {
    }

    QString playbackStatus() const { return player_->playbackStatus(); }
    double one() const { return 1.0; }
    QVariantMap metadata() const { return player_->metadata(); }
    qlonglong position() const { return player_->positionUs(); }
    bool canGoNext() const { return player_->canGoNext(); }
    bool canPlay() const { return player_->canPlay(); }
    bool canPause() const { return player_->canPause(); }
    bool shuffle() const { return player_->shuffle(); }
    void setShuffle(bool on) { player_->setShuffle(on); }
    QString loopStatus() const { return player_->loopStatus(); }
    void setLoopStatus(const QString& status) { player_->setLoopStatus(status); }
    bool no() const { return false; }
    bool yes() const { return true; }

public slots:
    void Next() { player_->Next(); }
    void Previous() {}
    void Pause() { player_->Pause(); }
    void PlayPause() { player_->PlayPause(); }
    void Stop() { player_->Stop(); }
    void Play() { player_->Play(); }
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&, const QDBusMessage& message)
    {
        message.setDelayedReply(true);
        bus_.send(
            message.createErrorReply(QDBusError::NotSupported, QStringLiteral("Orvane plays its play path only")));
    }

private:
    MprisPlayer* player_;
    QDBusConnection bus_;
};

std::unique_ptr<MprisService> MprisService::start(frmOrvane& window, QDBusConnection bus)
{
    if (!bus.isConnected())
        return nullptr;
    std::unique_ptr<MprisService> service(new MprisService(window, std::move(bus)));
    if (!service->registerOnBus())
        return nullptr;
    return service;
}

MprisService::MprisService(frmOrvane& window, QDBusConnection bus)
    : bus_(std::move(bus))
    , player_(new MprisPlayer(window, this))
{
    new MprisRootAdaptor(player_);
    new MprisPlayerAdaptor(player_, bus_);
    connect(player_, &MprisPlayer::propertiesChanged, this, &MprisService::sendPropertiesChanged);
    connect(&window, &frmOrvane::unloaded, this, &MprisService::leaveBus);
}

MprisService::~MprisService()
{
    leaveBus();
}

bool MprisService::registerOnBus()
{
    if (!bus_.registerObject(QString::fromLatin1(ObjectPath), player_, QDBusConnection::ExportAdaptors))
        return false;
    registered_ = true;
    // A second Orvane takes a name of its own, as the MPRIS naming rule asks.
    for (const QString& name : {QString::fromLatin1(ServiceName),
                                QStringLiteral("%1.instance%2").arg(QLatin1String(ServiceName)).arg(::getpid())}) {
        if (bus_.registerService(name)) {
            serviceName_ = name;
            return true;
        }
    }
    leaveBus();
    return false;
}

void MprisService::leaveBus()
{
    if (!serviceName_.isEmpty())
        bus_.unregisterService(serviceName_);
    serviceName_.clear();
    if (registered_)
        bus_.unregisterObject(QString::fromLatin1(ObjectPath));
    registered_ = false;
}

void MprisService::sendPropertiesChanged(const QVariantMap& changed)
{
    if (!registered_)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(PlayerInterface) << changed << QStringList();
    bus_.send(signal);
}

} // namespace orvane

#include "mpris.moc"
