// Random lives of one person's Mac, with the real quillet command over the sample Mac, or of their
// Linux home with KMail and Geary: the person works in the clients, the service changes its texts,
// Quillet installs, updates, removes, refreshes and restores, sometimes previewing a command or
// running it beside a refresh. After every step the rules below must hold; a failing life shrinks
// to a short one and RapidCheck prints the seed that replays it (RC_PARAMS="seed=N", or the
// "reproduce" string it prints).
//
// The rules:
//   person's data  everything of the person's in each client (accounts, own signatures in their
//                  order, each account's default) is as the person last left it; an account's
//                  default may differ only while a signature of Quillet's is selected for it;
//   store          every installation that `status` calls done is in the client with the
//                  signature's text, and every signature of Quillet's in a client is one that
//                  `list --all` records there;
//   success        a command that exits 0 or says "successfully" did what it was asked (an
//                  install selected the signature in its client);
//   preview        a --dry-run shows exactly what the command then does.

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <QDir>
#include <QFile>
#include <array>
#include <set>

#include "app/demo/FakeMacMozilla.h"
#include "tests/support/DataTable.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/LinuxClientAdapters.h"
#include "tests/support/PreviewCheck.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {

// One thing that happens; the numbers choose among what there is when it happens.
struct Step {
    QString act;  // its name in tests/data/properties/acts.tsv
    int client;
    int pick = 0;
    int value = 0;
    bool preview = false;      // a --dry-run of the command first
    bool withRefresh = false;  // a refresh runs at the same time
};

// What can happen (tests/data/properties/acts.tsv): each act's name, weight and who does it.
const std::vector<QStringList>& ActRows() {
    static const std::vector<QStringList> rows = ReadDataTable("properties/acts.tsv");
    return rows;
}

QString WhoDoes(const QString& act) {
    for (const QStringList& row : ActRows()) {
        if (row[0] == act)
            return row.value(2);
    }
    return {};
}

void showValue(const Step& step, std::ostream& os) {
    os << step.act.toStdString() << "(client " << step.client << ", pick " << step.pick
       << ", value " << step.value << (step.preview ? ", preview" : "")
       << (step.withRefresh ? ", with refresh" : "") << ")";
}

namespace {

using Json = nlohmann::json;

// Where a life happens: the sample Mac with its five clients, or a Linux home (the command's
// Linux platform) with KMail and Geary laid out on the same machine.
struct Platform {
    QStringList options;
    std::vector<ClientKind> clients;
    std::unique_ptr<FakeMacClient> (*adapter)(const FakeMac&, ClientKind);
    void (*layOut)(const FakeMac&);
};
const std::vector<Platform> kPlatforms = {
    {{},
     {ClientKind::appleMail, ClientKind::outlook, ClientKind::postbox, ClientKind::spark,
      ClientKind::thunderbird},
     MakeFakeMacClient,
     [](const FakeMac&) {}},
    {{"--platform", "linux"},
     {ClientKind::kmail, ClientKind::geary},
     MakeLinuxClientAdapter,
     LayOutLinuxClients},
};
constexpr int kMaxSteps = 20;
const std::vector<int> kKeys = {1, 2, 3};  // the service's keys k1, k2, k3
constexpr int kFiles = 2;

// True once in N, and false when shrunk, so that a shrunk life previews and runs beside a refresh
// only where that matters.
rc::Gen<bool> Sometimes(int n) {
    return rc::gen::map(rc::gen::inRange(0, n), [n](int value) { return value == n - 1; });
}

// Each act is there as often as its weight says, which draws as a weighted choice does.
rc::Gen<Step> AStep() {
    std::vector<QString> weighted;
    for (const QStringList& act : ActRows())
        weighted.insert(weighted.end(), act.value(1).toInt(), act[0]);
    return rc::gen::construct<Step>(
        rc::gen::elementOf(weighted),
        // Most steps happen in the life's own client, so that they meet.
        rc::gen::weightedElement<int>({{8, 0}, {2, 1}, {1, 2}, {1, 3}, {1, 4}}),
        rc::gen::inRange(0, 6), rc::gen::inRange(0, 6), Sometimes(6), Sometimes(4));
}

// What a step's number chooses: what the life already uses comes first, then everything, so
// that the steps of a life meet more often than chance would have them.
template <typename List>
auto Choose(const List& used, const List& all, int n) {
    List candidates = used;
    for (const auto& item : all)
        candidates.push_back(item);
    return candidates[n % candidates.size()];
}

QString Q(const Json& value) {
    return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString();
}

// Every text of the person's own says so; Quillet's come from the service or from files.
bool IsPersons(const QByteArray& body) {
    return body.contains("by hand") || body.contains("Tim's own");
}

QByteArray EffectiveText(const Json& signature) {
    const QString main = Q(signature["mainText"]);
    return (main.isEmpty() ? Q(signature["localText"]) : main).toUtf8();
}

bool Installable(const Json& signature) {
    return signature["active"] == true && signature["pendingDeletion"] == false &&
           !EffectiveText(signature).isEmpty();
}

// The payloads of an installation entry by account email ("" for all accounts).
std::map<QString, Json> Payloads(const Json& entry) {
    std::map<QString, Json> payloads;
    if (!entry.is_object())
        return payloads;
    if (entry.value("allAccounts", false))
        payloads[""] = entry["payload"];
    const Json accounts = entry.value("accounts", Json::object());
    for (const auto& [email, payload] : accounts.items())
        payloads[QString::fromStdString(email)] = payload;
    return payloads;
}

// The payloads of the signature's "selected" or "performed" entry in the client, by account email.
std::map<QString, Json> PayloadsIn(const Json& signature, const char* part,
                                   const FakeMacClient& client) {
    return Payloads(signature[part].value(StoredText(client.kind()).toStdString(), Json()));
}

// The signature that the list (of `list --all`) holds with the id; an empty object when none.
Json ListedAs(const Json& list, const QString& id) {
    const auto found = std::find_if(
        list.begin(), list.end(), [&](const Json& signature) { return Q(signature["id"]) == id; });
    return found == list.end() ? Json::object() : *found;
}

// By signature id, the clients where status says its installation still waits.
std::map<QString, std::set<QString>> PendingClients(const Json& status) {
    std::map<QString, std::set<QString>> pending;
    for (const Json& signature : status.value("signatures", Json::array())) {
        for (const Json& name : signature["pending"])
            pending[Q(signature["id"])].insert(Q(name));
    }
    return pending;
}

QString AccountOf(const FakeClientState& state, const QString& email) {
    const auto found = std::find_if(state.accounts.begin(), state.accounts.end(),
                                    [&](const auto& account) { return account.second == email; });
    return found == state.accounts.end() ? QString() : found->first;
}

// Every life starts from a copy of one sample Mac.
const SampleMacOriginal& Original() {
    static const SampleMacOriginal original;
    return original;
}

class World : public SampleMacCommand {
public:
    // `focus`: the client that the life's steps with client 0 happen in.
    // `focus` counts the clients of every platform, in order.
    explicit World(int focus) : SampleMacCommand(Original()), _focus(focus) {
        for (const Platform& platform : kPlatforms) {
            if (_focus >= int(platform.clients.size())) {
                _focus -= int(platform.clients.size());
                continue;
            }
            platformOptions = platform.options;
            platform.layOut(mac);
            for (ClientKind kind : platform.clients)
                _clients.push_back(platform.adapter(mac, kind));
            break;
        }
        for (int key : kKeys)
            setText(key, true);
        for (int file = 1; file <= kFiles; ++file)
            writeSource(file);
        for (const auto& client : _clients) {
            // The person uses their own signature by default in their first account.
            const FakeClientState state = client->read();
            if (!state.accounts.empty() && !state.signatures.empty() &&
                !state.defaults.contains(state.accounts.begin()->first))
                client->setDefault(state.accounts.begin()->first, state.signatures.front().id);
            _expected[client->kind()] = personsPart(*client, client->read());
        }
        readQuillet();
    }

    // Does the step; what went wrong in doing it is kept for violations().
    void run(const Step& step) {
        FakeMacClient& client = clientOf(step);
        if (WhoDoes(step.act) == "the person in the client" && client.installed()) {
            const QString done = personActs(step, client);
            if (!done.isEmpty()) {
                log(StoredText(client.kind()) + ": " + done);
                _expected[client.kind()] = remembered(client);
            }
        } else if (step.act == "movesClient") {
            client.setInstalled(!client.installed());
            log(QString(client.installed() ? "moves back " : "moves away ") +
                StoredText(client.kind()));
        } else if (step.act == "deletesAccountsCache") {
            QFile::remove(mac.homePath("Library/Application Support/Quillet/CachedAccounts.plist"));
            log("deletes the accounts cache");
        } else if (step.act == "editsFile") {
            writeSource(1 + step.value % kFiles);
        } else if (WhoDoes(step.act) == "the service") {
            const int key = Choose(usedKeys(), kKeys, step.value);
            setText(key, _texts.contains(key) == (step.act == "changesText"));
        } else if (WhoDoes(step.act) == "Quillet") {
            quilletActs(step);
        }
    }

    QStringList violations() {
        QStringList found = std::exchange(_violations, {});
        for (const auto& client : _clients) {
            const FakeClientState state = client->read();
            // A client moved away cannot be written: Quillet's signature stays in it until it
            // is back, and the person's data is checked then.
            if (client->installed())
                personsDataViolations(*client, state, found);
            storeViolations(*client, state, found);
        }
        return found;
    }

private:
    // --- the person

    // What the person did; empty when there was nothing to do it with.
    QString personActs(const Step& step, const FakeMacClient& client) {
        const FakeClientState state = client.read();
        const std::set<QString> taken = takenAccounts(client, state);
        QStringList free, all;
        for (const auto& [key, email] : state.accounts) {
            all << key;
            if (!taken.contains(key))
                free << key;
        }
        // Where signatures live in accounts, those of the accounts Quillet holds are not theirs.
        const std::vector<FakeClientSignature> own = personsPart(client, state).signatures;
        const int n = ++_made;
        const QByteArray body = "<p>" + QByteArray::number(n) + " by hand</p>";
        if (step.act == "addsSignature") {
            FakeClientSignature added{
                QString("BBBBBBBB-0000-0000-0000-%1").arg(n, 12, 10, QChar('0')),
                Choose(listedNames(), QStringList{"Mine", "Work", "Signature Name 1"}, step.value),
                body,
                {}};
            if (client.keepsRawBytes() && step.value % 2)
                added.body = "<p>Ren\xe9 " + QByteArray::number(n) + " by hand</p>";
            if (client.signaturesLiveInAccounts()) {
                if (free.isEmpty())
                    return {};
                added.id = free[step.pick % free.size()];
                added.offers = {added.id};
            } else if (!all.isEmpty() && client.kind() == ClientKind::appleMail) {
                added.offers = {all[step.pick % all.size()]};
            }
            client.replaceSignature(std::nullopt, added);
            return "adds own signature " + added.id + " \"" + added.name + "\"";
        }
        if (step.act == "editsSignature" || step.act == "removesSignature") {
            if (own.empty())
                return {};
            const FakeClientSignature before = own[step.pick % own.size()];
            std::optional<FakeClientSignature> after;
            if (step.act == "editsSignature") {
                after = before;
                after->body = "<p>" + QByteArray::number(n) + " edited by hand</p>";
            }
            client.replaceSignature(before, after);
            return (after ? "edits own signature " : "removes own signature ") + before.id;
        }
        if (step.act == "setsDefault") {
            if (free.isEmpty())
                return {};
            const QString account = free[step.pick % free.size()];
            QStringList choices{""};
            for (const auto& signature : own) {
                if (signature.offers.isEmpty() || signature.offers.contains(account))
                    choices << signature.id;
            }
            const QString chosen = choices[step.value % choices.size()];
            client.setDefault(account, chosen);
            return "sets the default of " + account + " to " + (chosen.isEmpty() ? "none" : chosen);
        }
        if (all.isEmpty() && step.act != "addsAccount")
            return {};
        const QString account =
            step.act == "addsAccount"
                ? client.accountKey(n)
                : Choose(QStringList(taken.begin(), taken.end()), all, step.pick);
        if (step.act == "removesAccount") {
            client.removeAccount(account);
            return "removes account " + account;
        }
        const QString email = "person" + QString::number(n) + "@example.com";
        client.setAccount(account, email);
        // The account's new owner brings a signature of their own, or none.
        if (client.signaturesLiveInAccounts() && step.value % 2)
            client.replaceSignature(std::nullopt,
                                    FakeClientSignature{account, {}, body, {account}});
        else
            client.setDefault(account, {});
        return (step.act == "addsAccount" ? "adds account " : "gives account ") + account + " to " +
               email;
    }

    // What the person keeps in the client. An account that a signature of Quillet's is selected
    // for may show Quillet's default (and, in Thunderbird, Quillet's signature) instead.
    FakeClientState personsPart(const FakeMacClient& client, const FakeClientState& state) const {
        const std::set<QString> taken = takenAccounts(client, state);
        FakeClientState part{state.accounts, {}, {}};
        for (const auto& signature : state.signatures) {
            if (IsPersons(signature.body) &&
                !(client.signaturesLiveInAccounts() && taken.contains(signature.id)))
                part.signatures.push_back(signature);
        }
        for (const auto& [account, id] : state.defaults) {
            if (!taken.contains(account))
                part.defaults[account] = id;
        }
        return part;
    }

    // After the person's step: what they see now, and for the accounts Quillet holds, what they
    // had before Quillet took them.
    FakeClientState remembered(const FakeMacClient& client) const {
        const FakeClientState state = client.read();
        FakeClientState now = personsPart(client, state);
        const FakeClientState& before = _expected.at(client.kind());
        for (const QString& account : takenAccounts(client, state)) {
            // A default goes with the person's signature: one they removed meanwhile does not
            // come back as the default when Quillet leaves the account. (Outlook's default names
            // two signatures, "NEW|REPLIES", either of them "None".)
            const auto kept = before.defaults.find(account);
            const auto stillThere = [&](const QString& id) {
                return id == "None" ||
                       std::ranges::any_of(now.signatures, [&](const auto& signature) {
                           return signature.id == id;
                       });
            };
            if (kept != before.defaults.end() &&
                (client.signaturesLiveInAccounts() ||
                 std::ranges::all_of(kept->second.split('|'), stillThere)))
                now.defaults[account] = kept->second;
            for (const auto& signature : before.signatures) {
                if (client.signaturesLiveInAccounts() && signature.id == account)
                    now.signatures.push_back(signature);
            }
        }
        if (client.signaturesLiveInAccounts()) {
            std::sort(now.signatures.begin(), now.signatures.end(),
                      [](const auto& a, const auto& b) { return a.id < b.id; });
        }
        return now;
    }

    // The client's accounts that an installable signature of Quillet's is selected for.
    std::set<QString> takenAccounts(const FakeMacClient& client,
                                    const FakeClientState& state) const {
        std::set<QString> taken;
        for (const Json& signature : _list) {
            for (const auto& [email, payload] : PayloadsIn(signature, "selected", client)) {
                const QString account = AccountOf(state, email);
                if (Installable(signature) && !email.isEmpty() && !account.isEmpty())
                    taken.insert(account);
            }
        }
        return taken;
    }

    // --- the service and the files

    void setText(int key, bool on) {
        const QString name = "k" + QString::number(key);
        if (!on) {
            _texts.erase(key);
            QFile::remove(serviceFolder.filePath(name + ".html"));
            return log("the service switches " + name + " off");
        }
        _texts[key] = "<p>Service " + name + " v" + QString::number(++_made) + "</p>";
        setSignature(name, _texts[key]);
        log("the service serves " + name + ": " + _texts[key]);
    }

    QString sourcePath(int file) const {
        return _sources.filePath("file" + QString::number(file) + ".html");
    }
    void writeSource(int file) {
        QFile source(sourcePath(file));
        source.open(QIODevice::WriteOnly | QIODevice::Truncate);
        source.write("<p>File " + QByteArray::number(file) + " v" + QByteArray::number(++_made) +
                     "</p>");
        log("the person edits " + sourcePath(file));
    }

    // --- Quillet

    void readQuillet() {
        _list = json({"list", "--all"});
        if (!_list.is_array())
            _list = Json::array();
        // Only what is performed somewhere can be called done.
        const bool performed = std::any_of(_list.begin(), _list.end(), [](const Json& signature) {
            return !signature["performed"].empty();
        });
        _status = performed ? json({"status"}) : Json::object();
    }

    // The service's keys that listed signatures use.
    std::vector<int> usedKeys() const {
        std::vector<int> keys;
        for (const Json& signature : _list) {
            const QString key = Q(signature["key"]);
            if (signature["pendingDeletion"] == false && key.startsWith('k'))
                keys.push_back(key.mid(1).toInt());
        }
        return keys;
    }

    QStringList listedNames() const {
        QStringList names;
        for (const Json& signature : _list)
            names << Q(signature["name"]);
        return names;
    }

    Json listed(int pick) const {
        std::vector<Json> listed;
        for (const Json& signature : _list) {
            if (signature["pendingDeletion"] == false)
                listed.push_back(signature);
        }
        return listed.empty() ? Json::object() : listed[pick % listed.size()];
    }

    std::optional<QStringList> commandOf(const Step& step) const {
        const FakeMacClient& client = clientOf(step);
        const QString id = Q(listed(step.pick)["id"]);
        if (step.act == "install" || step.act == "installFile") {
            QStringList accounts;
            for (const auto& [key, email] : client.read().accounts)
                accounts << email;
            if (client.kind() != ClientKind::appleMail && client.kind() != ClientKind::thunderbird)
                accounts << "";
            QStringList arguments{"install"};
            arguments << (step.act == "install"
                              ? QStringList{"--key", "k" + QString::number(
                                                               1 + step.value % (kKeys.size() + 1))}
                              : QStringList{"--file", sourcePath(1 + step.value % kFiles)});
            arguments << "--client" << StoredText(client.kind());
            if (!accounts.isEmpty() && !accounts[step.pick % accounts.size()].isEmpty())
                arguments << "--account" << accounts[step.pick % accounts.size()];
            return arguments << "--replies" << (step.value % 2 ? "off" : "on");
        }
        if (step.act == "refresh")
            return QStringList{"refresh"};
        if (step.act == "restore") {
            const Json points = json({"backups"});
            if (!points.is_array() || points.empty())
                return std::nullopt;
            return QStringList{"restore", Q(points[step.pick % points.size()]["id"])};
        }
        // The other commands change a listed signature.
        if (id.isEmpty())
            return std::nullopt;
        if (step.act == "rename") {
            QStringList own;
            for (const auto& signature : personsPart(client, client.read()).signatures)
                own << signature.name;
            own.removeAll("");
            return QStringList{"rename", id,
                               Choose(own, QStringList{"Mine", "Work", "Team"}, step.value)};
        }
        if (step.act == "color")
            return QStringList{"color", id, QString::number(step.value * 2)};
        return QStringList{step.act, id};  // update, uninstall
    }

    void quilletActs(const Step& step) {
        const auto arguments = commandOf(step);
        if (!arguments)
            return;
        const Json before = _list;
        const auto pendingBefore = PendingClients(_status);
        const QString line = arguments->join(' ');
        CommandRun result;
        if (step.preview && step.act != "color") {
            const PreviewCheck check = CheckPreview(*this, *arguments);
            for (const QString& mismatch : check.mismatches)
                _violations << "preview of \"" + line + "\": " + mismatch;
            result = check.real;
        } else if (step.withRefresh) {
            const auto refresh = start({"--yes", "refresh"});
            const auto command = start(QStringList{"--yes"} + *arguments);
            result = finish(*command);
            expectNoCrash("refresh beside " + line, finish(*refresh));
        } else {
            result = quillet(QStringList{"--yes"} + *arguments);
        }
        log("quillet " + line + (step.preview && step.act != "color" ? " (previewed)" : "") +
            (step.withRefresh ? " (beside a refresh)" : "") + " -> " +
            QString::number(result.exitCode) +
            (result.exitCode == 0 ? QString() : ": " + result.err.trimmed().right(600)));
        readQuillet();
        expectNoCrash(line, result);
        // A command runs a pass for its change and one for what a refresh brought; one of them
        // may succeed while the other has problems, which the command then says as well.
        const QString said = result.out + result.err;
        if (result.exitCode == 0 ||
            (said.contains("successfully") &&
             !said.contains("There were problems updating some signatures")))
            successViolations(step, *arguments, before, pendingBefore);
    }

    void expectNoCrash(const QString& line, const CommandRun& result) {
        if (result.exitCode != 0 && result.exitCode != 1)
            _violations << "\"" + line + "\" ended with " + QString::number(result.exitCode) +
                               ": " + result.err.right(300);
    }

    // What the command said it did must be in the clients.
    void successViolations(const Step& step, const QStringList& arguments, const Json& before,
                           std::map<QString, std::set<QString>> pendingBefore) {
        const QString line = "\"" + arguments.join(' ') + "\" succeeded but ";
        Json signature = ListedAs(_list, arguments.value(1));
        if (step.act == "install" || step.act == "installFile") {
            Json made = Json::object();
            for (const Json& listed : _list) {
                if (ListedAs(before, Q(listed["id"])).empty())
                    made = listed;
            }
            const QString client = arguments[arguments.indexOf("--client") + 1];
            if (!made.empty() && !made["selected"].value(client.toStdString(), Json()).is_object())
                _violations << line + "the signature is selected nowhere in " + client;
            heldWhereSelected(line, made);
        } else if (step.act == "update" || step.act == "rename") {
            if (step.act == "rename" && Q(signature["name"]) != arguments[2])
                _violations << line + "the name is \"" + Q(signature["name"]) + "\"";
            if (step.act == "update" && !Q(signature["filePath"]).isEmpty() &&
                Q(signature["localText"]).toUtf8() != ReadFakeFile(Q(signature["filePath"])))
                _violations << line + "signature " + arguments[1] +
                                   " does not have the file's text";
            // Saving a change refreshes from the service; a rename to the name the signature
            // has already changes nothing and saves nothing.
            if (step.act != "rename" || Q(ListedAs(before, arguments[1])["name"]) != arguments[2])
                serviceTextViolations(line, signature);
            heldWhereSelected(line, signature);
        } else if (step.act == "color" && signature["colorIndex"] != arguments[2].toInt()) {
            _violations << line + "the colour is " +
                               QString::fromStdString(signature["colorIndex"].dump());
        } else if (step.act == "uninstall") {
            if (!signature.empty() && signature["pendingDeletion"] == false)
                _violations << line + "signature " + arguments[1] + " is still listed";
            if (!ListedAs(before, arguments[1]).empty())
                notHeld(line, ListedAs(before, arguments[1]));
        } else if (step.act == "refresh") {
            for (const Json& listed : _list) {
                // A refresh syncs what it changed: work that waited before it (an account
                // Quillet has not found) may wait on, as status says.
                if (listed["pendingDeletion"] == false) {
                    serviceTextViolations(line, listed);
                    heldWhereSelected(line, listed, pendingBefore[Q(listed["id"])]);
                }
            }
        }
    }

    void serviceTextViolations(const QString& line, const Json& signature) {
        const QString key = Q(signature["key"]);
        if (key.isEmpty())
            return;
        const auto text = _texts.find(key.mid(1).toInt());
        if (text == _texts.end()
                ? signature["active"] != false
                : Q(signature["mainText"]) != text->second || signature["active"] != true)
            _violations << line + "signature " + Q(signature["id"]) +
                               " does not have the service's text of " + key;
    }

    // Every selection of the signature is in its client with the signature's text (a signature
    // that cannot be installed: in none), where the client is here and has the account.
    void heldWhereSelected(const QString& line, const Json& signature,
                           const std::set<QString>& waiting = {}) {
        if (signature.empty()) {
            _violations << line + "the signature is not listed";
            return;
        }
        if (!Installable(signature))
            return notHeld(line, signature);
        for (const auto& client : _clients) {
            const auto selected = PayloadsIn(signature, "selected", *client);
            if (selected.empty() || !client->installed() ||
                waiting.contains(StoredText(client->kind())))
                continue;
            const FakeClientState state = client->read();
            for (const auto& [email, payload] : selected) {
                if (!heldWhereItCan(*client, state, signature, email))
                    _violations << line + where(signature, *client, email) +
                                       " does not hold its text";
            }
        }
    }

    void notHeld(const QString& line, const Json& signature) {
        for (const auto& client : _clients) {
            const auto performedIn = PayloadsIn(signature, "performed", *client);
            if (performedIn.empty() || !client->installed())
                continue;
            const FakeClientState state = client->read();
            for (const auto& [email, performed] : performedIn) {
                // Where the account is another signature's now, what it holds is that one's,
                // even when the texts are the same.
                const bool wonByAnother =
                    std::any_of(_list.begin(), _list.end(), [&](const Json& other) {
                        return other["id"] != signature["id"] && winsAccount(*client, other, email);
                    });
                if (client->signaturesLiveInAccounts() && wonByAnother)
                    continue;
                if (holds(*client, state, signature, email, performed,
                          Q(performed["text"]).toUtf8(), false))
                    _violations << line + where(signature, *client, email) + " still holds it";
            }
        }
    }

    // Thunderbird gives an account the first signature selected for it.
    bool winsAccount(const FakeMacClient& client, const Json& signature,
                     const QString& email) const {
        if (!client.signaturesLiveInAccounts())
            return true;
        for (const Json& other : _list) {
            if (Installable(other) && PayloadsIn(other, "selected", client).contains(email))
                return other["id"] == signature["id"];
        }
        return false;
    }

    // Whether the client holds what the signature performed for the email with its text, where
    // it can: while it has the account and the signature wins it.
    bool heldWhereItCan(const FakeMacClient& client, const FakeClientState& state,
                        const Json& signature, const QString& email) const {
        return (!email.isEmpty() && AccountOf(state, email).isEmpty()) ||
               !winsAccount(client, signature, email) ||
               holds(client, state, signature, email,
                     PayloadsIn(signature, "performed", client)[email], EffectiveText(signature));
    }

    // Whether the client holds the installation (the performed payload names it there) with the
    // text; `inUse`: under the signature's name where the client keeps names, and where the
    // signature lives in the account, switched on there.
    static bool holds(const FakeMacClient& client, const FakeClientState& state,
                      const Json& signature, const QString& email, const Json& performed,
                      const QByteArray& text, bool inUse = true) {
        if (!performed.is_object())
            return false;
        const QString account = AccountOf(state, email);
        for (const auto& entry : state.signatures) {
            const bool named = client.signaturesLiveInAccounts() ? entry.id == account
                                                                 : entry.id == Q(performed["id"]);
            if (named && !IsPersons(entry.body) && entry.body == text &&
                (email.isEmpty() || entry.offers.isEmpty() || entry.offers.contains(account)) &&
                (!inUse || entry.name.isEmpty() || entry.name == Q(signature["name"])) &&
                (!inUse || !client.signaturesLiveInAccounts() || state.defaults.contains(account)))
                return true;
        }
        return false;
    }

    FakeMacClient& clientOf(const Step& step) const {
        return *_clients[(_focus + step.client) % _clients.size()];
    }

    static QString where(const Json& signature, const FakeMacClient& client, const QString& email) {
        return "signature " + Q(signature["id"]) + " \"" + Q(signature["name"]) + "\" in " +
               StoredText(client.kind()) +
               (email.isEmpty() ? QString(" (all accounts)") : " for " + email);
    }

    // --- the rules after every step

    void personsDataViolations(const FakeMacClient& client, const FakeClientState& state,
                               QStringList& found) const {
        const FakeClientState actual = personsPart(client, state);
        const FakeClientState expected = personsPart(client, _expected.at(client.kind()));
        if (actual != expected)
            found << "person's data changed in " + StoredText(client.kind()) + " from\n" +
                         ClientStateText(expected) + "to\n" + ClientStateText(actual);
    }

    void storeViolations(const FakeMacClient& client, const FakeClientState& state,
                         QStringList& found) const {
        auto pending = PendingClients(_status);
        // What status calls done is there.
        for (const Json& signature : _list) {
            if (!client.installed() ||
                pending[Q(signature["id"])].contains(StoredText(client.kind())))
                continue;
            for (const auto& [email, performed] : PayloadsIn(signature, "performed", client)) {
                const QString done = "status calls " + where(signature, client, email) + " done";
                if (!Installable(signature))
                    found << done + ", but it must leave";
                else if (Q(performed["text"]).toUtf8() != EffectiveText(signature))
                    found << done + " with an old text";
                else if (!heldWhereItCan(client, state, signature, email))
                    found << done + ", but the client does not hold it";
            }
        }
        // What Quillet left in the client is in its store.
        for (const auto& held : state.signatures) {
            if (IsPersons(held.body))
                continue;
            bool known = false;
            for (const Json& signature : _list) {
                for (const auto& [email, performed] : PayloadsIn(signature, "performed", client)) {
                    known |= Q(performed["text"]).toUtf8() == held.body &&
                             (client.signaturesLiveInAccounts() ? AccountOf(state, email) == held.id
                                                                : Q(performed["id"]) == held.id);
                }
            }
            if (!known)
                found << StoredText(client.kind()) +
                             " holds a signature of Quillet's that list does not record: " +
                             held.id + " " + QString::fromUtf8(held.body);
        }
    }

    void log(const QString& line) { RC_LOG() << "  " << line.toStdString() << "\n"; }

    int _focus;
    std::vector<std::unique_ptr<FakeMacClient>> _clients;
    std::map<ClientKind, FakeClientState> _expected;
    std::map<int, QString> _texts;  // the service's texts by key number; absent: switched off
    QTemporaryDir _sources;
    Json _list, _status;
    int _made = 0;
    QStringList _violations;
};

// What the first step to break a rule breaks (the life's start counts as one); empty when every
// rule holds throughout.
std::string BrokenRules(int focus, const std::vector<Step>& life) {
    World world(focus);
    QStringList violations = world.violations();
    for (auto step = life.begin(); step != life.end() && violations.isEmpty(); ++step) {
        world.run(*step);
        violations = world.violations();
    }
    return violations.join("\n").toStdString();
}

RC_GTEST_PROP(QuilletPropertyTest, NothingOfThePersonsIsLostAndQuilletSaysWhatIsTrue, ()) {
    const auto steps = *rc::gen::resize(kMaxSteps, rc::gen::container<std::vector<Step>>(AStep()));
    int clients = 0;
    for (const Platform& platform : kPlatforms)
        clients += int(platform.clients.size());
    const std::string broken = BrokenRules(*rc::gen::inRange(0, clients), steps);
    if (!broken.empty())
        RC_FAIL(broken);
}

// Lives that random runs once found losing the person's data (tests/data/properties/lives.tsv),
// played again in every client of every platform at every run, whatever the random lives of the
// day happen to be.
TEST(QuilletPropertyTest, LivesThatOnceLostThePersonsDataNoLongerDo) {
    std::map<QString, std::vector<Step>> lives;
    for (const QStringList& row : ReadDataTable("properties/lives.tsv")) {
        ASSERT_FALSE(WhoDoes(row[1]).isEmpty()) << "no act " << row.value(1).toStdString();
        Step step{row[1], row.value(2).toInt()};
        step.preview = row.value(3) == "previewed";
        lives[row[0]].push_back(step);
    }
    ASSERT_FALSE(lives.empty());
    int focus = 0;
    for (const Platform& platform : kPlatforms) {
        for (ClientKind client : platform.clients) {
            for (const auto& [name, life] : lives)
                EXPECT_EQ(BrokenRules(focus, life), "")
                    << StoredText(client).toStdString() << ", life " << name.toStdString();
            ++focus;
        }
    }
}

}  // namespace
}  // namespace quillet
