#include "app/clients/linux/EvolutionRegistry.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>

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

}  // namespace

EvolutionRegistry::EvolutionRegistry() {
    qDBusRegisterMetaType<StringMap>();
}

RegistryResult<std::vector<EvolutionSource>> EvolutionRegistry::sources() const {
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

std::optional<EvolutionSource> EvolutionRegistry::find(const QString& uid, QString& error) const {
    auto all = sources();
    if (!all.value) {
        error = all.error;
        return std::nullopt;
    }
    for (EvolutionSource& source : *all.value) {
        if (source.uid == uid)
            return std::move(source);
    }
    error = "no source " + uid;
    return std::nullopt;
}

std::optional<QString> EvolutionRegistry::create(const QString& uid, const QByteArray& data) const {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface, "CreateSources");
    StringMap sources;
    sources.insert(uid, QString::fromUtf8(data));
    message << QVariant::fromValue(sources);
    return ErrorOf(Call(message));
}

std::optional<QString> EvolutionRegistry::write(const QString& uid, const QByteArray& data) const {
    QString error;
    const auto source = find(uid, error);
    if (!source)
        return error;
    if (!source->writable)
        return "source " + uid + " is not writable";
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, source->objectPath, kWritableInterface, "Write");
    message << QString::fromUtf8(data);
    return ErrorOf(Call(message));
}

std::optional<QString> EvolutionRegistry::remove(const QString& uid) const {
    QString error;
    const auto source = find(uid, error);
    if (!source)
        return error;
    if (!source->removable)
        return "source " + uid + " is not removable";
    return ErrorOf(Call(QDBusMessage::createMethodCall(kService, source->objectPath,
                                                       kRemovableInterface, "Remove")));
}

}  // namespace quillet
