// The quillet-dbus module: the session bus calls over Qt's D-Bus module. It links nothing of
// Quillet's.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>

#include "app/clients/linux/SessionBus.h"

namespace quillet {

namespace {

const QString kService = QStringLiteral("org.gnome.evolution.dataserver.Sources5");
const QString kManagerPath = QStringLiteral("/org/gnome/evolution/dataserver/SourceManager");
const QString kManagerInterface = QStringLiteral("org.gnome.evolution.dataserver.SourceManager");
const QString kSourceInterface = QStringLiteral("org.gnome.evolution.dataserver.Source");
const QString kWritableInterface = kSourceInterface + ".Writable";
const QString kRemovableInterface = kSourceInterface + ".Removable";
// The registry loads every source when it starts: its first answer may take a while.
constexpr int kCallTimeoutMs = 60000;

using StringMap = QMap<QString, QString>;

QDBusMessage Call(const QDBusMessage& message) {
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

std::optional<QString> ErrorOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage)
        return std::nullopt;
    return reply.errorName() + ": " + reply.errorMessage();
}

// One object of GetManagedObjects' answer: its interfaces and their properties.
EvolutionSource ReadSource(const QDBusObjectPath& path, const QDBusArgument& interfaces) {
    EvolutionSource source;
    source.objectPath = path.path();
    interfaces.beginMap();
    while (!interfaces.atEnd()) {
        QString interface;
        QVariantMap properties;
        interfaces.beginMapEntry();
        interfaces >> interface >> properties;
        interfaces.endMapEntry();
        if (interface == kSourceInterface) {
            source.uid = properties.value("UID").toString();
            source.data = properties.value("Data").toString().toUtf8();
        } else if (interface == kWritableInterface) {
            source.writable = true;
        } else if (interface == kRemovableInterface) {
            source.removable = true;
        }
    }
    interfaces.endMap();
    return source;
}

class QtSessionBus : public SessionBus {
public:
    QtSessionBus() { qDBusRegisterMetaType<StringMap>(); }

    RegistryResult<std::vector<EvolutionSource>> evolutionSources() const override {
        const QDBusMessage reply = Call(QDBusMessage::createMethodCall(
            kService, kManagerPath, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects"));
        if (const auto error = ErrorOf(reply))
            return {std::nullopt, *error};
        if (reply.arguments().isEmpty())
            return {std::nullopt, "an empty answer to GetManagedObjects"};
        const QDBusArgument objects = reply.arguments().first().value<QDBusArgument>();
        std::vector<EvolutionSource> sources;
        objects.beginMap();
        while (!objects.atEnd()) {
            QDBusObjectPath path;
            objects.beginMapEntry();
            objects >> path;
            EvolutionSource source = ReadSource(path, objects);
            objects.endMapEntry();
            if (!source.uid.isEmpty())
                sources.push_back(std::move(source));
        }
        objects.endMap();
        return {std::move(sources), {}};
    }

    std::optional<QString> createEvolutionSource(const QString& uid,
                                                 const QByteArray& data) const override {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kManagerPath,
                                                              kManagerInterface, "CreateSources");
        StringMap sources;
        sources.insert(uid, QString::fromUtf8(data));
        message << QVariant::fromValue(sources);
        return ErrorOf(Call(message));
    }

    std::optional<QString> writeEvolutionSource(const QString& objectPath,
                                                const QByteArray& data) const override {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kService, objectPath, kWritableInterface, "Write");
        message << QString::fromUtf8(data);
        return ErrorOf(Call(message));
    }

    std::optional<QString> removeEvolutionSource(const QString& objectPath) const override {
        return ErrorOf(Call(
            QDBusMessage::createMethodCall(kService, objectPath, kRemovableInterface, "Remove")));
    }

    void announceIdentitiesChanged() const override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage signal =
            QDBusMessage::createSignal("/KIDENTITYMANAGER_IdentityManager",
                                       "org.kde.pim.IdentityManager", "identitiesChanged");
        signal << bus.baseService();
        bus.send(signal);
    }
};

}  // namespace

}  // namespace quillet

extern "C" Q_DECL_EXPORT const quillet::SessionBus* QuilletSessionBus() {
    static const quillet::QtSessionBus bus;
    return &bus;
}
