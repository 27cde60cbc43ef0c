#pragma once
// Evolution, KMail and Geary on a home of their own, for the tests: a private session bus (as
// dbus-run-session makes one) in a network namespace with loopback only, so that nothing the bus
// starts (Evolution's real registry) reaches the network; the three programs as installed
// packages of a system root of their own (the programs themselves are not run); the person's own
// identities and signatures, made with the clients' own libraries (Evolution's libedataserver,
// KDE's identity library) or as Geary writes them; and what each client would use as each
// identity's signature, read back the same way (GLib's key files for Geary).

#include <QProcess>
#include <QString>
#include <map>
#include <optional>

#include "common/ClientKind.h"

namespace quillet {

// Installs the client as a distribution package of the system root (its program and AppStream
// file, as detection finds them); false when a file cannot be written.
bool InstallLinuxClientPackage(const QString& systemRoot, ClientKind kind);
QString LinuxClientProgram(const QString& systemRoot, ClientKind kind);

// What a client would insert as one identity's signature.
struct ClientSignatureReadBack {
    QString text;  // empty for none
    bool enabled = false;
    bool html = false;
    // Evolution: the signature's uid ("none"); KMail: the identity's uoid; Geary: the account's
    // folder.
    QString id;
    bool operator==(const ClientSignatureReadBack&) const = default;
};
using ReadBacks = std::map<QString, ClientSignatureReadBack>;  // by identity address

// What Geary would sign each account's messages with, as Geary reads its geary.ini files (GLib's
// key files); the id is the account's folder.
ReadBacks ReadGearySignatures(const QString& gearyFolder);
// An account folder of Geary's with geary.ini as Geary 43 writes it.
bool WriteGearyAccount(const QString& gearyFolder, const QString& account, const QString& email,
                       const std::optional<QString>& signature = std::nullopt);

class LinuxClientsHome {
public:
    // Why these tests cannot run here (a client or a tool missing, no network namespace); empty
    // when they can.
    static QString unavailableReason();

    explicit LinuxClientsHome(QString home) : _home(std::move(home)) {}
    ~LinuxClientsHome();  // ends the bus and everything it started

    // Installs the three clients in systemRoot() (for the command's --root) and starts the bus.
    // Each of these reports its failure to the running test.
    bool start();
    // HOME, the XDG folders below it, the bus, and GSettings kept in memory.
    QProcessEnvironment environment() const;
    QString systemRoot() const { return _home + "/system"; }

    // An identity made as the client makes it, using an HTML signature of the person's own or
    // none; and what the client would use as each identity's signature.
    bool addIdentity(ClientKind kind, const QString& email,
                     const std::optional<QString>& signature = std::nullopt);
    ReadBacks signatures(ClientKind kind);
    // The folder that holds all of the client's settings.
    QString settingsFolder(ClientKind kind) const;

private:
    std::optional<QString> runTool(ClientKind kind, const QStringList& arguments);

    QString _home;
    QString _busAddress;
    QProcess _bus;
};

}  // namespace quillet
