#include "qt/app_bus.h"

#include "qt/mpris.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

namespace orvane {

namespace {

QString busName()
{
    return QString::fromLatin1(MprisPlayer::DesktopEntry);
}

} // namespace

// org.freedesktop.Application: Activate, Open and ActivateAction, each with
// the launcher's platform data, which nothing here needs.
class AppBusAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit AppBusAdaptor(AppBus* owner)
        : QDBusAbstractAdaptor(owner)
        , owner_(owner)
    {
    }

public slots:
    void Activate(const QVariantMap&) { emit owner_->activateRequested(); }
    void Open(const QStringList& uris, const QVariantMap&)
    {
        for (const QString& uri : uris) {
            if (const std::optional<std::string> path = localPath(uri.toUtf8())) {
                emit owner_->openRequested(QByteArray::fromStdString(*path));
                return;
            }
        }
    }
    void ActivateAction(const QString& action, const QVariantList&, const QVariantMap&)
    {
        emit owner_->actionRequested(action);
    }

private:
    AppBus* owner_;
};

std::unique_ptr<AppBus> AppBus::claim(QDBusConnection bus)
{
    if (!bus.isConnected())
        return nullptr;
    std::unique_ptr<AppBus> app(new AppBus(std::move(bus)));
    new AppBusAdaptor(app.get());
    // The interface first: a start that finds the name taken may call it at
    // once, and the call waits only for this copy's event loop.
    app->registered_ = app->bus_.registerObject(QString::fromLatin1(ObjectPath), app.get(),
                                                QDBusConnection::ExportAdaptors);
    if (app->registered_) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
            = app->bus_.interface()->registerService(busName(), QDBusConnectionInterface::DontQueueService,
                                                     QDBusConnectionInterface::DontAllowReplacement);
        app->ownsName_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    }
    return app;
}

AppBus::AppBus(QDBusConnection bus)
    : bus_(std::move(bus))
{
}

AppBus::~AppBus()
{
    if (ownsName_)
        bus_.interface()->unregisterService(busName());
    if (registered_)
        bus_.unregisterObject(QString::fromLatin1(ObjectPath));
}

namespace {

QDBusMessage applicationCall(const char* method)
{
    return QDBusMessage::createMethodCall(busName(), QString::fromLatin1(AppBus::ObjectPath),
                                          QString::fromLatin1(AppBus::Interface), QString::fromLatin1(method));
}

bool answered(QDBusConnection& bus, const QDBusMessage& call, std::chrono::milliseconds wait)
{
    return bus.call(call, QDBus::Block, static_cast<int>(wait.count())).type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool AppBus::handOver(const std::string& path, std::chrono::milliseconds wait)
{
    QDBusMessage call = applicationCall("Open");
    call << QStringList{fileUrl(path)} << QVariantMap{};
    return answered(bus_, call, wait);
}

bool AppBus::askForAction(const QString& action, std::chrono::milliseconds wait)
{
    QDBusMessage call = applicationCall("ActivateAction");
    call << action << QVariantList{} << QVariantMap{};
    return answered(bus_, call, wait);
}

} // namespace orvane

#include "app_bus.moc"
