#include "tests/support/LinuxClientAdapters.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>

#include "app/clients/linux/GLibKeyFile.h"
#include "app/clients/linux/KConfigFile.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/DataTable.h"
#include "tests/support/LinuxClients.h"

namespace quillet {

namespace {

const QString kIdentityGroupPrefix = QStringLiteral("Identity #");

// What the two clients share: an identity's signature is its own, and the application is its
// program in the system root.
class LinuxClientAdapter : public FakeMacClient {
public:
    using FakeMacClient::FakeMacClient;
    bool signaturesLiveInAccounts() const override { return true; }

    // Moves the program away (the client is then not detected) and back.
    void setInstalled(bool installed) const override {
        const QString program = LinuxClientProgram(_mac.root(), _kind);
        const QString away = _mac.rootPath("/var/fake-mac/away/") + QFileInfo(program).fileName();
        QDir().mkpath(QFileInfo(away).path());
        installed ? QDir().rename(away, program) : QDir().rename(program, away);
    }
    bool installed() const override {
        return QFileInfo::exists(LinuxClientProgram(_mac.root(), _kind));
    }

protected:
    // The state of identities read as (account, email, signature text, used): a signature is
    // listed where the identity has a text, and is the account's default while it is used.
    struct Identity {
        QString account, email;
        QByteArray signature;
        bool used = false;
    };
    static FakeClientState StateOf(const std::vector<Identity>& identities) {
        FakeClientState state;
        for (const Identity& identity : identities) {
            state.accounts[identity.account] = identity.email;
            if (identity.signature.isEmpty())
                continue;
            state.signatures.push_back(
                {identity.account, {}, identity.signature, {identity.account}});
            if (identity.used)
                state.defaults[identity.account] = identity.account;
        }
        std::ranges::sort(state.signatures, {}, &FakeClientSignature::id);  // the accounts' order
        return state;
    }
};

// KMail: identities are the file's "[Identity #N]" groups, numbered by position, each known by
// its uoid; KMail renumbers them when it writes the file.
class KMailAdapter : public LinuxClientAdapter {
public:
    explicit KMailAdapter(const FakeMac& mac)
        : LinuxClientAdapter(mac, ClientKind::kmail),
          _path(mac.homePath(".config/emailidentities")) {}
    QString accountKey(int n) const override { return QString::number(2000 + n); }

    FakeClientState read() const override {
        const KConfigFile file = this->file();
        std::vector<Identity> identities;
        for (const QString& group : file.groups()) {
            const auto uoid = file.value(group, "uoid");
            const auto email = file.value(group, "Email Address");
            if (!group.startsWith(kIdentityGroupPrefix) || !uoid || !email)
                continue;
            const QString text = file.value(group, "Inline Signature").value_or(QString());
            const bool html = file.value(group, "Inlined Html") == "true";
            identities.push_back(
                {*uoid, *email,
                 text.isEmpty() ? QByteArray() : (html ? "" : kPlainSignatureMark) + text.toUtf8(),
                 file.value(group, "Signature Enabled") == "true" &&
                     file.value(group, "Signature Type") == "inline"});
        }
        return StateOf(identities);
    }
    void replaceSignature(const std::optional<FakeClientSignature>& before,
                          const std::optional<FakeClientSignature>& after) const override {
        KConfigFile file = this->file();
        if (before) {
            for (const char* key :
                 {"Inline Signature", "Inlined Html", "Signature Enabled", "Signature Type"})
                file.removeKey(group(file, before->id), key);
        }
        if (after) {
            const bool plain = after->body.startsWith(kPlainSignatureMark);
            const QString group = this->group(file, after->id);
            file.setValue(group, "Inline Signature",
                          QString::fromUtf8(
                              plain ? after->body.mid(qsizetype(std::strlen(kPlainSignatureMark)))
                                    : after->body));
            file.setValue(group, "Inlined Html", plain ? "false" : "true");
            file.setValue(group, "Signature Enabled", "true");
            file.setValue(group, "Signature Type", "inline");
        }
        write(file.contents());
    }
    // Switching a signature on, or off and clearing it (one of the identities the machine starts
    // with keeps a signature of the person's that is off).
    void setDefault(const QString& account, const QString& signatureId) const override {
        if (signatureId.isEmpty())
            return replaceSignature(FakeClientSignature{account, {}, {}, {}}, std::nullopt);
        KConfigFile file = this->file();
        file.setValue(group(file, account), "Signature Enabled", "true");
        write(file.contents());
    }
    void setAccount(const QString& account, const QString& email) const override {
        KConfigFile file = this->file();
        const QString group = this->group(file, account);
        if (!group.isEmpty()) {
            file.setValue(group, "Email Address", email);
            return write(file.contents());
        }
        QByteArray contents = file.contents();
        if (!contents.isEmpty() && !contents.endsWith('\n'))
            contents += '\n';
        const auto number = file.groups().filter(QRegularExpression("^Identity #")).size();
        contents += "\n[" + (kIdentityGroupPrefix + QString::number(number)).toUtf8() +
                    "]\nEmail Address=" + KConfigEscapedValue(email) +
                    "\nIdentity=" + KConfigEscapedValue(account) +
                    "\nName=Tim Example\nuoid=" + account.toUtf8() + "\n";
        write(contents);
    }
    // Takes the identity's group out and numbers the others again, as KMail's writer does.
    void removeAccount(const QString& account) const override {
        const QString removed = "[" + group(file(), account) + "]";
        static const QRegularExpression identityGroup(R"(^\[Identity #[0-9]+\]$)");
        QByteArrayList kept;
        bool skipping = false;
        int next = 0;
        for (const QByteArray& line : ReadFakeFile(_path).value_or(QByteArray()).split('\n')) {
            if (line.startsWith('['))
                skipping = line == removed.toUtf8();
            if (skipping)
                continue;
            if (identityGroup.match(QString::fromUtf8(line)).hasMatch())
                kept << "[" + (kIdentityGroupPrefix + QString::number(next++)).toUtf8() + "]";
            else
                kept << line;
        }
        write(kept.join('\n'));
    }

    // The file as KMail writes it: its owner's only.
    void write(const QByteArray& contents) const {
        _mac.writeFile(_path, contents);
        QFile::setPermissions(_path, QFile::ReadOwner | QFile::WriteOwner);
    }

private:
    KConfigFile file() const { return KConfigFile(ReadFakeFile(_path).value_or(QByteArray())); }
    static QString group(const KConfigFile& file, const QString& account) {
        for (const QString& group : file.groups()) {
            if (group.startsWith(kIdentityGroupPrefix) && file.value(group, "uoid") == account)
                return group;
        }
        return {};
    }

    QString _path;
};

// Geary: one folder per account, its settings in geary.ini.
class GearyAdapter : public LinuxClientAdapter {
public:
    explicit GearyAdapter(const FakeMac& mac)
        : LinuxClientAdapter(mac, ClientKind::geary), _folder(mac.homePath(".config/geary")) {}
    QString accountKey(int n) const override {
        return QString("account_%1").arg(n, 2, 10, QChar('0'));
    }

    FakeClientState read() const override {
        std::vector<Identity> identities;
        for (const auto& [address, readBack] : ReadGearySignatures(_folder))
            identities.push_back({readBack.id, address, readBack.text.toUtf8(), readBack.enabled});
        return StateOf(identities);
    }
    void replaceSignature(const std::optional<FakeClientSignature>& before,
                          const std::optional<FakeClientSignature>& after) const override {
        for (const auto& [signature, used] : {std::pair{before, false}, {after, true}}) {
            if (signature)
                change(signature->id, [&](GLibKeyFile& file) {
                    file.setBoolean("Account", "use_signature", used);
                    file.setString("Account", "signature",
                                   used ? QString::fromUtf8(signature->body) : QString());
                });
        }
    }
    // Geary has no signature that is switched off but kept: switching it off empties it.
    void setDefault(const QString& account, const QString& signatureId) const override {
        if (signatureId.isEmpty())
            replaceSignature(FakeClientSignature{account, {}, {}, {}}, std::nullopt);
    }
    void setAccount(const QString& account, const QString& email) const override {
        if (!file(account))
            return void(WriteGearyAccount(_folder, account, email));
        change(account, [&](GLibKeyFile& file) {
            file.setString("Account", "sender_mailboxes", "Tim Example <" + email + ">;");
        });
    }
    void removeAccount(const QString& account) const override {
        QDir(_folder + "/" + account).removeRecursively();
    }

private:
    QString path(const QString& account) const { return _folder + "/" + account + "/geary.ini"; }
    std::optional<GLibKeyFile> file(const QString& account) const {
        const auto contents = ReadFakeFile(path(account));
        return contents ? GLibKeyFile::parse(*contents) : std::nullopt;
    }
    template <typename Change>
    void change(const QString& account, Change&& change) const {
        auto file = this->file(account);
        if (!file)
            return;
        change(*file);
        _mac.writeFile(path(account), file->contents());
    }

    QString _folder;
};

}  // namespace

void LayOutLinuxClients(const FakeMac& mac) {
    for (ClientKind kind : {ClientKind::kmail, ClientKind::geary})
        InstallLinuxClientPackage(mac.root(), kind);
    KMailAdapter(mac).write(ReadDataBytes("clients/linux/emailidentities"));
    const QString geary = mac.homePath(".config/geary");
    WriteGearyAccount(geary, "account_01", "tim@example.com",
                      "<p>Tim's own <i>Geary</i> signature</p>");
    WriteGearyAccount(geary, "account_02", "tim.work@example.com");
}

std::unique_ptr<FakeMacClient> MakeLinuxClientAdapter(const FakeMac& mac, ClientKind kind) {
    if (kind == ClientKind::kmail)
        return std::make_unique<KMailAdapter>(mac);
    if (kind == ClientKind::geary)
        return std::make_unique<GearyAdapter>(mac);
    return nullptr;
}

}  // namespace quillet
