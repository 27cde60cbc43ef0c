#include "tests/support/FakeMacClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "app/clients/Detection.h"
#include "app/clients/PrefsFile.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/demo/FakeMacSpark.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

using nlohmann::json;

QString Text(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string()
               ? QString::fromStdString(found->get<std::string>())
               : QString();
}

// Mail's or Outlook's accounts in the stand-in osascript's state file, which plays them.
json StateAccounts(const FakeMac& mac, const char* client) {
    const json state = json::parse(FakeClientsState(mac).toStdString(), nullptr, false);
    const json part = state.is_object() ? state.value(client, json()) : json();
    const json accounts = part.is_object() ? part.value("accounts", json()) : json();
    return accounts.is_array() ? accounts : json::array();
}

// Thunderbird and Postbox: identities in prefs.js.
class MozillaClient : public FakeMacClient {
public:
    MozillaClient(const FakeMac& mac, ClientKind kind) : FakeMacClient(mac, kind) {
        const QDir profiles(mac.paths().userLibrary() + "/" + FakeMac::MozillaProfilesFolder(kind));
        const QStringList found = profiles.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        _profile = profiles.filePath(found.value(0));
    }

protected:
    static QString Prefix(const QString& account) { return "mail.identity." + account + "."; }

    QStringList lines() const {
        return ReadPrefsFileLines(_profile + "/prefs.js").value_or(QStringList());
    }
    void write(const QStringList& lines) const {
        WritePrefsFileLines(_profile + "/prefs.js", lines);
    }
    void set(const QString& account, const QString& setting, const QString& rawValue) const {
        write(SetPrefsLine(lines(), Prefix(account) + setting, rawValue, Prefix(account)));
    }
    void remove(const QString& account, const QStringList& settings) const {
        std::set<QString> keys;
        for (const QString& setting : settings)
            keys.insert(Prefix(account) + setting);
        write(RemovePrefsLines(lines(), keys));
    }
    std::optional<QString> value(const QStringList& lines, const QString& account,
                                 const QString& setting) const {
        return GetPrefsStringValue(lines, Prefix(account) + setting);
    }

    // The state with the accounts that the lines give identities.
    FakeClientState withAccounts(const QStringList& lines) const {
        FakeClientState state;
        static const QRegularExpression useremail(R"(^mail\.identity\.(id[0-9]+)\.useremail$)");
        for (const QString& line : lines) {
            const auto parsed = ParsePrefsLine(line);
            const auto match = parsed ? useremail.match(parsed->key) : QRegularExpressionMatch();
            if (match.hasMatch())
                state.accounts[match.captured(1)] = *value(lines, match.captured(1), "useremail");
        }
        return state;
    }

public:
    QString accountKey(int n) const override { return "id" + QString::number(n); }
    void setAccount(const QString& account, const QString& email) const override {
        set(account, "useremail", PrefsStringRawValue(email));
    }
    void removeAccount(const QString& account) const override {
        QStringList all = lines();
        all.removeIf([&](const QString& line) {
            const auto parsed = ParsePrefsLine(line);
            return parsed && parsed->key.startsWith(Prefix(account));
        });
        write(all);
    }

protected:
    QString _profile;
};

const QStringList kThunderbirdSignatureSettings = {"htmlSigText", "htmlSigFormat", "sig_on_reply",
                                                   "sig_on_fwd"};

class ThunderbirdClient : public MozillaClient {
public:
    using MozillaClient::MozillaClient;
    bool signaturesLiveInAccounts() const override { return true; }

    FakeClientState read() const override {
        const QStringList all = lines();
        FakeClientState state = withAccounts(all);
        for (const auto& [account, email] : state.accounts) {
            const QString text = value(all, account, "htmlSigText").value_or(QString());
            if (!text.isEmpty()) {
                state.signatures.push_back({account, {}, text.toUtf8(), {account}});
                state.defaults[account] = account;
            }
        }
        return state;
    }
    void replaceSignature(const std::optional<FakeClientSignature>& before,
                          const std::optional<FakeClientSignature>& after) const override {
        if (before)
            remove(before->id, kThunderbirdSignatureSettings);
        if (after) {
            set(after->id, "htmlSigText", PrefsStringRawValue(QString::fromUtf8(after->body)));
            set(after->id, "htmlSigFormat", "true");
        }
    }
    void setDefault(const QString& account, const QString& signatureId) const override {
        if (signatureId.isEmpty())
            remove(account, kThunderbirdSignatureSettings);
    }
};

class PostboxClient : public MozillaClient {
public:
    using MozillaClient::MozillaClient;

    FakeClientState read() const override {
        const QStringList all = lines();
        FakeClientState state = withAccounts(all);
        for (const json& entry : list()) {
            if (entry.is_object())
                state.signatures.push_back(
                    {Text(entry, "key"), Text(entry, "name"), Text(entry, "body").toUtf8(), {}});
        }
        for (const auto& [account, email] : state.accounts) {
            if (const auto key = value(all, account, "pbSignatureKey"))
                state.defaults[account] = *key;
        }
        return state;
    }
    void replaceSignature(const std::optional<FakeClientSignature>& before,
                          const std::optional<FakeClientSignature>& after) const override {
        json entries = list();
        const auto found = std::find_if(entries.begin(), entries.end(), [&](const json& entry) {
            return before && Text(entry, "key") == before->id;
        });
        if (after) {
            // What else the entry keeps stays.
            (found != entries.end() ? *found : entries.emplace_back(json::object()))
                .update({{"key", after->id.toStdString()},
                         {"name", after->name.toStdString()},
                         {"body", QString::fromUtf8(after->body).toStdString()}});
        } else {
            if (found != entries.end())
                entries.erase(found);
            forgetDefaultsOf(before->id);
        }
        WriteFakePostboxSignatures(_profile, QByteArray::fromStdString(entries.dump()));
    }
    void setDefault(const QString& account, const QString& signatureId) const override {
        if (signatureId.isEmpty())
            remove(account, {"pbSignatureKey"});
        else
            set(account, "pbSignatureKey", PrefsStringRawValue(signatureId));
    }

private:
    json list() const {
        const auto bytes = ReadFakeFile(FakePostboxSignaturesPath(_profile));
        json entries = json::parse(bytes.value_or("[]").toStdString(), nullptr, false);
        return entries.is_array() ? entries : json::array();
    }
};

class AppleMailClient : public FakeMacClient {
public:
    AppleMailClient(const FakeMac& mac) : FakeMacClient(mac, ClientKind::appleMail), _files(mac) {}

    FakeClientState read() const override {
        FakeClientState state;
        for (const FakeAppleMailAccount& account : accounts())
            state.accounts[account.uuid] = account.email;
        const Plist map = plist(_files.accountsMap, Plist::dictionary());
        const Plist all = plist(_files.allSignatures, Plist::array());
        for (int i = 0; i < all.node().size(); ++i) {
            const QString id = all.node().at(i)->dictionaryString("SignatureUniqueId").value_or("");
            const QByteArray file = ReadFakeFile(_files.signatureFile(id)).value_or(QByteArray());
            FakeClientSignature signature{
                id,
                all.node().at(i)->dictionaryString("SignatureName").value_or(""),
                file.mid(file.indexOf("\n\n") + 2),
                {}};
            // Mail shows nothing of an account it no longer has, whatever its files keep of it.
            for (const QString& account : map.node().keys()) {
                if (state.accounts.count(account) && offered(map, account).contains(signature.id))
                    signature.offers << account;
            }
            state.signatures.push_back(signature);
        }
        const Plist preferences = plist(_files.preferences, Plist::dictionary());
        if (const auto selected = preferences.node().get("SignaturesSelected")) {
            for (const QString& account : selected->keys()) {
                if (state.accounts.count(account))
                    state.defaults[account] = selected->dictionaryString(account).value_or("");
            }
        }
        return state;
    }
    void replaceSignature(const std::optional<FakeClientSignature>& before,
                          const std::optional<FakeClientSignature>& after) const override {
        Plist map = plist(_files.accountsMap, Plist::dictionary());
        Plist all = plist(_files.allSignatures, Plist::array());
        if (before && (!after || after->id != before->id)) {
            QFile::remove(_files.signatureFile(before->id));
            removeFromArray(all.node(), before->id);
            for (const QString& account : map.node().keys())
                removeFromArray(*map.node().get(account)->get("Signatures"), before->id);
            forgetDefaultsOf(before->id);
        }
        if (after) {
            _mac.writeFile(_files.signatureFile(after->id),
                           "Content-Type: text/html;\n\tcharset=utf-8\nMessage-Id: <" +
                               after->id.toUtf8() + "@example.com>\n\n" + after->body);
            std::optional<PlistNode> entry;
            for (int i = 0; i < all.node().size() && !entry; ++i) {
                if (all.node().at(i)->dictionaryString("SignatureUniqueId") == after->id)
                    entry = all.node().at(i);
            }
            if (!entry) {
                all.node().append(Plist::dictionary());
                entry = all.node().at(all.node().size() - 1);
                entry->set("SignatureUniqueId", Plist::string(after->id));
                entry->set("SignatureIsRich", Plist::boolean(true));
            }
            entry->set("SignatureName", Plist::string(after->name));
            for (const QString& account : after->offers) {
                if (!offered(map, account).contains(after->id))
                    accountEntry(map, account).get("Signatures")->append(Plist::string(after->id));
            }
        }
        WritePlistFile(_files.accountsMap, map);
        WritePlistFile(_files.allSignatures, all);
    }
    void setDefault(const QString& account, const QString& signatureId) const override {
        Plist preferences = plist(_files.preferences, Plist::dictionary());
        if (!preferences.node().get("SignaturesSelected"))
            preferences.node().set("SignaturesSelected", Plist::dictionary());
        PlistNode selected = *preferences.node().get("SignaturesSelected");
        if (signatureId.isEmpty())
            selected.remove(account);
        else
            selected.set(account, Plist::string(signatureId));
        WritePlistFile(_files.preferences, preferences);
    }
    void setAccount(const QString& account, const QString& email) const override {
        auto accounts = this->accounts();
        auto found = std::ranges::find(accounts, account, &FakeAppleMailAccount::uuid);
        if (found == accounts.end())
            found = accounts.insert(accounts.end(), {account, {}, {}});
        found->email = email;
        SetFakeAppleMailAccounts(_mac, accounts);
        Plist map = plist(_files.accountsMap, Plist::dictionary());
        accountEntry(map, account)
            .set("AccountURL", Plist::string("imap://" + QString(email).replace("@", "%40")));
        WritePlistFile(_files.accountsMap, map);
    }
    void removeAccount(const QString& account) const override {
        auto accounts = this->accounts();
        std::erase_if(accounts, [&](const auto& entry) { return entry.uuid == account; });
        SetFakeAppleMailAccounts(_mac, accounts);
        Plist map = plist(_files.accountsMap, Plist::dictionary());
        map.node().remove(account);
        WritePlistFile(_files.accountsMap, map);
        setDefault(account, {});
    }

private:
    std::vector<FakeAppleMailAccount> accounts() const {
        std::vector<FakeAppleMailAccount> accounts;
        for (const json& entry : StateAccounts(_mac, "AppleMail")) {
            accounts.push_back({Text(entry, "uuid"), Text(entry, "email"), Text(entry, "fullName"),
                                Text(entry, "type"), entry.value("enabled", true)});
        }
        return accounts;
    }
    static Plist plist(const QString& path, Plist empty) {
        auto read = ReadPlistFile(path);
        return read && read->node().isArray() == empty.node().isArray() ? *read : empty;
    }
    static QStringList offered(const Plist& map, const QString& account) {
        QStringList ids;
        const auto signatures =
            map.node().get(account) ? map.node().get(account)->get("Signatures") : std::nullopt;
        for (int i = 0; signatures && i < signatures->size(); ++i)
            ids << signatures->at(i)->asString().value_or("");
        return ids;
    }
    static PlistNode accountEntry(Plist& map, const QString& account) {
        if (!map.node().get(account)) {
            Plist entry = Plist::dictionary();
            entry.node().set("Signatures", Plist::array());
            map.node().set(account, entry);
        }
        return *map.node().get(account);
    }
    static void removeFromArray(PlistNode array, const QString& id) {
        for (int i = array.size() - 1; i >= 0; --i) {
            const PlistNode item = *array.at(i);
            if (item.asString() == id || item.dictionaryString("SignatureUniqueId") == id)
                array.removeAt(i);
        }
    }

    FakeAppleMailFiles _files;
};

// Outlook's accounts are known by their user name, which the person never changes. Its defaults,
// by account email, name a signature for new messages and one for replies and forwards.
class OutlookClient : public FakeMacClient {
public:
    OutlookClient(const FakeMac& mac) : FakeMacClient(mac, ClientKind::outlook) {}
    QString accountKey(int n) const override { return "user" + QString::number(n); }

    FakeClientState read() const override {
        FakeClientState state;
        const auto defaults = FakeOutlookDefaultSignatures(_mac);
        for (const FakeOutlookAccount& account : accounts()) {
            state.accounts[account.userName] = account.email;
            const auto chosen = defaults.find(account.email);
            if (chosen != defaults.end() && chosen->second != FakeOutlookDefaults{"None", "None"})
                state.defaults[account.userName] =
                    chosen->second.newMessages + "|" + chosen->second.repliesForwards;
        }
        for (const FakeOutlookSignature& signature : FakeOutlookSignatures(_mac)) {
            state.signatures.push_back(
                {signature.name, signature.name, signature.content.toUtf8(), {}});
        }
        return state;
    }
    void replaceSignature(const std::optional<FakeClientSignature>& before,
                          const std::optional<FakeClientSignature>& after) const override {
        auto signatures = FakeOutlookSignatures(_mac);
        const auto found = std::ranges::find_if(signatures, [&](const auto& entry) {
            return before && entry.name == before->name && entry.content.toUtf8() == before->body;
        });
        if (after) {
            const FakeOutlookSignature made{after->name, QString::fromUtf8(after->body)};
            found != signatures.end() ? void(*found = made) : signatures.push_back(made);
        } else if (found != signatures.end()) {
            signatures.erase(found);
        }
        SetFakeOutlookSignatures(_mac, signatures);
        // The defaults that name a signature become "None" once no signature has that name.
        if (!after && std::ranges::none_of(signatures, [&](const auto& entry) {
                return entry.name == before->name;
            })) {
            auto defaults = FakeOutlookDefaultSignatures(_mac);
            for (auto& [email, chosen] : defaults) {
                for (QString* use : {&chosen.newMessages, &chosen.repliesForwards})
                    *use = *use == before->name ? "None" : *use;
            }
            SetFakeOutlookDefaultSignatures(_mac, defaults);
        }
    }
    // The signature for new messages and for replies and forwards, as "NEW|REPLIES".
    void setDefault(const QString& account, const QString& signatureId) const override {
        auto defaults = FakeOutlookDefaultSignatures(_mac);
        const QString email = read().accounts[account];
        if (signatureId.isEmpty())
            defaults.erase(email);
        else
            defaults[email] = {signatureId.section('|', 0, 0), signatureId.section('|', -1)};
        SetFakeOutlookDefaultSignatures(_mac, defaults);
    }
    // Another address leaves the account without defaults.
    void setAccount(const QString& account, const QString& email) const override {
        setDefault(account, {});
        auto accounts = this->accounts();
        auto found = std::ranges::find(accounts, account, &FakeOutlookAccount::userName);
        if (found == accounts.end())
            found = accounts.insert(accounts.end(), {{}, account, account});
        found->email = email;
        SetFakeOutlookAccounts(_mac, accounts);
    }
    void removeAccount(const QString& account) const override {
        setDefault(account, {});
        auto accounts = this->accounts();
        std::erase_if(accounts, [&](const auto& entry) { return entry.userName == account; });
        SetFakeOutlookAccounts(_mac, accounts);
    }

private:
    std::vector<FakeOutlookAccount> accounts() const {
        std::vector<FakeOutlookAccount> accounts;
        for (const json& entry : StateAccounts(_mac, "Outlook")) {
            accounts.push_back({Text(entry, "email"), Text(entry, "fullName"),
                                Text(entry, "userName"), Text(entry, "kind")});
        }
        return accounts;
    }
};

// Spark's accounts are rows of its message database, known by their primary key.
class SparkClient : public FakeMacClient {
public:
    SparkClient(const FakeMac& mac) : FakeMacClient(mac, ClientKind::spark) {
        const QString folder =
            mac.paths().userLibrary() +
            "/Group Containers/3L68KQB4HG.group.com.readdle.smartemail/databases";
        _settings = folder + "/settings.sqlite";
        _messages = folder + "/messages.sqlite";
    }
    bool keepsRawBytes() const override { return true; }
    QString accountKey(int n) const override { return QString::number(n); }

    FakeClientState read() const override {
        FakeClientState state;
        std::map<QString, QString> accountOfEmail;
        for (const auto& row : rows(_messages, "SELECT pk, additionalInfo FROM accounts")) {
            const QString email = Text(Parse(row[1]), "accountAddress");
            state.accounts[row[0]] = email;
            accountOfEmail[email] = row[0];
        }
        for (const auto& row : rows(_settings,
                                    "SELECT itemKey, itemValue FROM settings WHERE itemGroup = ? "
                                    "ORDER BY pk",
                                    {kFakeSparkSignaturesGroup})) {
            const json value = Parse(row[1]);
            const json deleted = value.value("deleted", json(false));
            if (deleted == json(true) || deleted == json("1") || deleted == json(1))
                continue;
            const QString body =
                Text(value, value.contains("htmlContent") ? "htmlContent" : "body");
            state.signatures.push_back(
                {QString::fromUtf8(row[0]), Text(value, "title"), body.toUtf8(), {}});
        }
        // Spark shows the signatures in the ordering's order, those it does not name after them.
        const QStringList ordering = orderingIds();
        const auto position = [&](const FakeClientSignature& signature) {
            return ordering.contains(signature.id) ? ordering.indexOf(signature.id)
                                                   : ordering.size();
        };
        std::stable_sort(state.signatures.begin(), state.signatures.end(),
                         [&](const auto& a, const auto& b) { return position(a) < position(b); });
        const json bound = binding();
        for (const auto& [email, id] : bound.items()) {
            const auto account = accountOfEmail.find(QString::fromStdString(email));
            if (account != accountOfEmail.end() && id.is_string())
                state.defaults[account->second] = QString::fromStdString(id.get<std::string>());
        }
        return state;
    }
    void replaceSignature(const std::optional<FakeClientSignature>& before,
                          const std::optional<FakeClientSignature>& after) const override {
        QStringList ordering = orderingIds();
        if (before && (!after || after->id != before->id)) {
            eraseSetting(kFakeSparkSignaturesGroup, before->id);
            ordering.removeAll(before->id);
            json bound = binding();
            for (auto at = bound.begin(); at != bound.end();)
                at = *at == before->id.toStdString() ? bound.erase(at) : std::next(at);
            writeMeta(kFakeSparkBindingKey, bound);
        }
        if (after) {
            // Built by hand so that a body that is not UTF-8 reaches the row as it is.
            const QByteArray value = "{\"identifier\":" + Quoted(after->id.toUtf8()) +
                                     ",\"title\":" + Quoted(after->name.toUtf8()) +
                                     ",\"htmlContent\":" + Quoted(after->body) +
                                     ",\"deleted\":false,\"type\":1}";
            const auto existing =
                rows(_settings, "SELECT pk FROM settings WHERE itemGroup = ? AND itemKey = ?",
                     {kFakeSparkSignaturesGroup, after->id});
            if (existing.empty()) {
                QueryFakeDatabase(_settings, kInsertSetting,
                                  {kFakeSparkSignaturesGroup, after->id, value});
                ordering << after->id;
            } else {
                QueryFakeDatabase(_settings, "UPDATE settings SET itemValue = ? WHERE pk = ?",
                                  {value, existing[0][0]});
            }
        }
        json ids = json::array();
        for (const QString& id : ordering)
            ids.push_back(id.toStdString());
        writeMeta(kFakeSparkOrderingKey, ids);
    }
    void setDefault(const QString& account, const QString& signatureId) const override {
        const QString email = read().accounts[account];
        json bound = binding();
        if (signatureId.isEmpty())
            bound.erase(email.toStdString());
        else
            bound[email.toStdString()] = signatureId.toStdString();
        writeMeta(kFakeSparkBindingKey, bound);
    }
    void setAccount(const QString& account, const QString& email) const override {
        QueryFakeDatabase(
            _messages,
            "INSERT INTO accounts (pk, accountTitle, additionalInfo) VALUES (?, ?, ?) "
            "ON CONFLICT (pk) DO UPDATE SET additionalInfo = excluded.additionalInfo",
            {account.toInt(), "Account " + account, SparkAdditionalInfo(email)});
    }
    void removeAccount(const QString& account) const override {
        setDefault(account, {});
        QueryFakeDatabase(_messages, "DELETE FROM accounts WHERE pk = ?", {account.toInt()});
    }

private:
    static json Parse(const QByteArray& bytes) {
        // Text that is not UTF-8 reads as Qt decodes it, as Spark shows it.
        json value = json::parse(QString::fromUtf8(bytes).toStdString(), nullptr, false);
        return value.is_discarded() ? json::object() : value;
    }
    static QByteArray Quoted(const QByteArray& text) {
        QByteArray quoted = text;
        quoted.replace("\\", "\\\\").replace("\"", "\\\"");
        return "\"" + quoted + "\"";
    }
    static FakeDatabaseRows rows(const QString& path, const QString& sql,
                                 const QVariantList& values = {}) {
        return QueryFakeDatabase(path, sql, values).value_or(FakeDatabaseRows());
    }
    json meta(const QString& key) const {
        const auto found =
            rows(_settings,
                 "SELECT itemValue FROM settings WHERE itemGroup = ? AND itemKey = ? "
                 "ORDER BY pk DESC LIMIT 1",
                 {kFakeSparkMetaGroup, key});
        return found.empty() ? json() : Parse(found[0][0]);
    }
    QStringList orderingIds() const {
        QStringList ids;
        const json ordering = meta(kFakeSparkOrderingKey);
        for (const json& id : ordering.is_array() ? ordering : json::array()) {
            if (id.is_string() && !id.get<std::string>().empty())
                ids << QString::fromStdString(id.get<std::string>());
        }
        return ids;
    }
    json binding() const {
        const json bound = meta(kFakeSparkBindingKey);
        return bound.is_object() ? bound : json::object();
    }
    void eraseSetting(const QString& group, const QString& key) const {
        QueryFakeDatabase(_settings, "DELETE FROM settings WHERE itemGroup = ? AND itemKey = ?",
                          {group, key});
    }
    void writeMeta(const QString& key, const json& value) const {
        eraseSetting(kFakeSparkMetaGroup, key);
        QueryFakeDatabase(_settings, kInsertSetting,
                          {kFakeSparkMetaGroup, key, QByteArray::fromStdString(value.dump())});
    }
    static constexpr char kInsertSetting[] =
        "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) "
        "VALUES (?, ?, ?, 700000000, 1)";

    QString _settings, _messages;
};

QString AwayFolder(const FakeMac& mac) {
    return mac.rootPath("/var/fake-mac/away");
}

}  // namespace

QString ClientStateText(const FakeClientState& state) {
    QString text;
    for (const auto& [account, email] : state.accounts)
        text += "account " + account + ": " + email + "\n";
    for (const FakeClientSignature& signature : state.signatures) {
        text += "signature " + signature.id + " \"" + signature.name + "\" offered by [" +
                signature.offers.join(", ") + "]: " + QString::fromUtf8(signature.body) + "\n";
    }
    for (const auto& [account, id] : state.defaults)
        text += "default of " + account + ": " + id + "\n";
    return text;
}

void FakeMacClient::forgetDefaultsOf(const QString& signatureId) const {
    for (const auto& [account, id] : read().defaults) {
        if (id == signatureId)
            setDefault(account, {});
    }
}

void FakeMacClient::setInstalled(bool installed) const {
    const QString name = ApplicationBundleName(_kind);
    const QString folder =
        _kind == ClientKind::appleMail ? "/System/Applications" : "/Applications";
    const QString home = _mac.rootPath(folder) + "/" + name;
    const QString away = AwayFolder(_mac) + "/" + name;
    QDir().mkpath(AwayFolder(_mac));
    if (installed)
        QDir().rename(away, home);
    else
        QDir().rename(home, away);
}

bool FakeMacClient::installed() const {
    return !QFileInfo::exists(AwayFolder(_mac) + "/" + ApplicationBundleName(_kind));
}

std::unique_ptr<FakeMacClient> MakeFakeMacClient(const FakeMac& mac, ClientKind kind) {
    switch (kind) {
        case ClientKind::appleMail:
            return std::make_unique<AppleMailClient>(mac);
        case ClientKind::outlook:
            return std::make_unique<OutlookClient>(mac);
        case ClientKind::postbox:
            return std::make_unique<PostboxClient>(mac, kind);
        case ClientKind::spark:
            return std::make_unique<SparkClient>(mac);
        case ClientKind::thunderbird:
            return std::make_unique<ThunderbirdClient>(mac, kind);
        // The Linux clients live on no Mac.
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary:
            return nullptr;
    }
    return nullptr;
}

}  // namespace quillet
