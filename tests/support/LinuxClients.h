#pragma once
// Evolution, KMail and Geary on a home of their own, for the tests: a private session bus (as
// dbus-run-session makes one) in a network namespace with loopback only, so that nothing the bus
// starts (Evolution's real registry) reaches the network; the three programs as installed
// packages of a system root of their own (the programs themselves are not run); the person's own
// identities and signatures, made with the clients' own libraries (Evolution's libedataserver,
// KDE's identity library) or as Geary writes them; and what each client would use as each
// identity's signature, read back the same way (GLib's key files for Geary).

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <map>
#include <optional>
#include <vector>

#include "common/ClientKind.h"

namespace quillet {

// Installs Evolution, KMail or Geary as a distribution package of the system root (its program
// and AppStream file, as detection finds them); false when a file cannot be written.
bool InstallLinuxClientPackage(const QString& systemRoot, ClientKind kind);
// The client's program in the system root, whose presence makes it detected.
QString LinuxClientProgram(const QString& systemRoot, ClientKind kind);

// What a client would insert as one identity's signature.
struct ClientSignatureReadBack {
    QString text;  // empty for none
    bool enabled = false;
    bool html = false;
    QString id;  // Evolution: the signature's uid ("none"); KMail: the identity's uoid
};
using ReadBacks = std::map<QString, ClientSignatureReadBack>;  // by identity address

// Geary's accounts as Geary reads them from their geary.ini files (GLib's key files).
struct GearyAccount {
    QString folder, address, signature;
    bool used = false;
};
std::vector<GearyAccount> ReadGearyAccounts(const QString& gearyFolder);

class LinuxClientsHome {
public:
    // Why these tests cannot run here (a client or a tool missing, no network namespace); empty
    // when they can.
    static QString unavailableReason();

    explicit LinuxClientsHome(QString home);
    ~LinuxClientsHome();  // ends the bus and everything it started

    // Installs the three clients in the system root and starts the bus.
    bool start();
    // HOME, the XDG folders below it, the bus, and GSettings kept in memory.
    QProcessEnvironment environment() const;
    // A system root (for the command's --root) where the three clients are installed as
    // distribution packages: their programs and AppStream files.
    QString systemRoot() const { return _home + "/system"; }

    // An identity made as the client makes it, using an HTML signature of the person's own or
    // none; and what the client would use as each identity's signature.
    bool addIdentity(ClientKind kind, const QString& email, const QString& name,
                     const std::optional<QString>& signature = std::nullopt);
    std::optional<ReadBacks> signatures(ClientKind kind);
    // The folder that holds all of the client's settings.
    QString settingsFolder(ClientKind kind) const;

    // An account folder of Geary's with geary.ini as Geary 43 writes it.
    bool addGearyAccount(const QString& folder, const QString& email, const QString& name,
                         const std::optional<QString>& signature = std::nullopt);
    QString gearyFolder() const { return _home + "/.config/geary"; }

    const QString& lastError() const { return _lastError; }

private:
    std::optional<QString> runTool(const QString& program, const QStringList& arguments);

    QString _home;
    QString _busAddress;
    QProcess _bus;
    QString _lastError;
};

}  // namespace quillet
