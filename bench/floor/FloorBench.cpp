// floor-bench: times whole quillet processes against the floor program (floor.c) doing the same
// reads and the same durable writes, pair by pair in one run, on sample Macs it builds:
//   - "hundred": the sample Mac with 100 of Quillet's signatures in each client (service ones,
//     installed by one refresh), Apple Mail with an iCloud folder, Thunderbird with 101
//     identities among 2,000 other settings;
//   - "stored N": the sample Mac with N file signatures stored (installed in Spark, which the
//     timed commands do not touch), for N = 10, 1,000 and 10,000.
// Each pair runs both programs on fresh copies of the same Mac, alternating which goes first.
// The floor's plan comes from what the quillet command did in the first pair: the files of the
// clients it changed (written with the same bytes), Spark's rows it changed (in one transaction),
// the osascript runs it made (the same scripts; Outlook's and Mail's scripts, and the defaults
// tool, count as floor), the service request it sent (the same URL), plus the reads the work
// needs (the store, the accounts cache, the client's files), one store commit and one synced
// log line. What quillet does beyond that (its start, its own bookkeeping files, restore points)
// is its cost over the floor.
//
//   floor-bench --quillet PATH --floor PATH --work DIR [--runs N] [--only TEXT] [--log-installs N]
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/demo/FakeMac.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/SampleMac.h"
#include "app/demo/service/SignatureService.h"
#include "bench/BenchSupport.h"
#include "common/ClientKind.h"
#include "common/Logger.h"
#include "common/Text.h"

namespace quillet {
namespace {

struct Options {
    QString quillet;
    QString floor;
    QString work;
    int runs = 5;
    QString only;
    int logInstalls = 100;
};

[[noreturn]] void Die(const QString& message) {
    std::fprintf(stderr, "floor-bench: %s\n", message.toUtf8().constData());
    std::exit(1);
}

// ---- Files ---------------------------------------------------------------------------------

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Die("cannot write " + path);
}

void CopyFolder(const QString& from, const QString& to) {
    QDir(to).removeRecursively();
    QDir().mkpath(QFileInfo(to).absolutePath());
    if (QProcess::execute("cp", {"-a", from, to}) != 0)
        Die("cannot copy " + from);
}

// ---- Processes -----------------------------------------------------------------------------

struct Timed {
    double milliseconds = 0;     // wall time
    double cpuMilliseconds = 0;  // user and system time, with the tools it ran
    int exitCode = -1;
    QByteArray errors;
};

// Runs the program with its output discarded and its errors kept, and waits for it.
Timed Time(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> texts{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        texts.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    char errorsPath[] = "/tmp/floor-bench-errors.XXXXXX";
    const int errors = ::mkstemp(errorsPath);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    Timed timed;
    QElapsedTimer timer;
    timer.start();
    pid_t child = -1;
    if (::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage usage {};
        ::wait4(child, &status, 0, &usage);
        timed.milliseconds = double(timer.nsecsElapsed()) / 1e6;
        const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
        timed.cpuMilliseconds = ms(usage.ru_utime) + ms(usage.ru_stime);
        timed.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(errors);
    timed.errors = ReadAll(errorsPath);
    ::unlink(errorsPath);
    return timed;
}

class Bench;

// ---- Sample Macs ---------------------------------------------------------------------------

QString Html(const QString& who, int revision) {
    return QString(
               "<table cellpadding=\"0\" cellspacing=\"0\"><tr><td style=\"font-family:Helvetica;"
               "font-size:12px\"><b>%1</b><br>Revision %2, Example Ltd<br><a "
               "href=\"https://example.com\">example.com</a> +1 555 0100</td></tr></table>")
        .arg(who)
        .arg(revision);
}

QString DataFolder(const QString& mac) {
    return mac + "/home/Library/Application Support/Quillet";
}

void StoreSignaturesIn(const QString& mac, const std::vector<Signature>& signatures) {
    if (!StoreSignatures(DataFolder(mac), signatures))
        Die("cannot store the signatures in " + mac);
}

Signature NewSignature(const QString& name, int color) {
    Signature signature;
    signature.active = true;
    signature.uuidX = QUuid::createUuid();
    signature.nameQe = name;
    signature.colorIndex = color % 13;
    signature.insertForRepliesForwards = true;
    signature.insertForForwards = true;
    return signature;
}

void SelectAllAccounts(Signature& signature, ClientKind kind) {
    auto& selected = signature.clientKindToSelectedInstallationsInfoMap[kind];
    selected.allAccountsSelected = true;
    selected.allAccountsPayloadX = SelectedInstallationPayload{true};
}

void SelectAccount(Signature& signature, ClientKind kind, const QString& email) {
    signature.clientKindToSelectedInstallationsInfoMap[kind].accountEmailToPayloadMap[email] =
        SelectedInstallationPayload{true};
}

QString ThunderbirdEmail(int identity) {
    return QString("t%1@example.com").arg(identity);
}

constexpr ClientKind kClients[] = {ClientKind::appleMail, ClientKind::outlook, ClientKind::postbox,
                                   ClientKind::spark, ClientKind::thunderbird};
constexpr int kPerClient = 100;
constexpr int kChanged = 50;  // the signature of each client whose text a refresh changes

QString Key(ClientKind kind, int i) {
    return QString("k-%1-%2").arg(StoredText(kind).toLower()).arg(i);
}

// ---- The bench -----------------------------------------------------------------------------

// Every file of the Mac that a client owns (Quillet's own folder, its log and the stand-ins'
// records aside), by path, with Spark's settings as their rows.
using MacFiles = std::map<QString, QByteArray>;

QStringList SparkRows(const QString& path) {
    sqlite3* database = nullptr;
    QStringList rows;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &database, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(database,
                           "SELECT itemGroup, itemKey, itemValue, syncDate, syncStatus FROM "
                           "settings ORDER BY pk",
                           -1, &statement, nullptr);
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < 5; ++i)
                columns << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
            rows << columns.join('\x1f');
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(database);
    return rows;
}

MacFiles ClientFiles(const QString& mac) {
    MacFiles files;
    QDirIterator it(mac + "/home", QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(mac.size());
        if (relative.contains("/Library/Logs/") ||
            relative.contains("/Application Support/Quillet/") || relative.endsWith(".tmp") ||
            relative.endsWith("-wal") || relative.endsWith("-shm") || relative.endsWith("-journal"))
            continue;
        files[relative] = relative.endsWith("settings.sqlite") ? SparkRows(path).join('\n').toUtf8()
                                                               : ReadAll(path);
    }
    return files;
}

QString Escaped(QString field) {
    return field.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t");
}

// What every command reads of the store: each row of the signatures' tables.
const QString kEveryStoredRow =
    "SELECT * FROM ZSIGNATUREENTITYV2; SELECT * FROM ZSELECTEDINSTALLATIONENTITYV2; "
    "SELECT * FROM ZPERFORMEDINSTALLATIONENTITYV2;";

QString Quoted(const QString& value) {
    return "'" + QString(value).replace("'", "''") + "'";
}

// What one timed operation is and how its floor is found.
struct Operation {
    QString name;
    QString mac;  // the prepared Mac, copied for every run
    QStringList arguments;
    std::optional<ClientKind> client;  // the client it syncs
    bool readsAccounts = false;        // discovers the client's accounts (an install)
    QString sourceFile;                // the signature file an install reads
    bool lists = false;                // prints the signatures
};

class Bench {
public:
    explicit Bench(Options options) : _options(std::move(options)) {
        QDir().mkpath(_options.work);
        _serviceFolder = _options.work + "/service";
        QDir().mkpath(_serviceFolder);
        _service = std::make_unique<SignatureService>(SignatureServiceOptions{
            _serviceFolder.toStdString(), "127.0.0.1", 0, [](const std::string&) {}});
        if (!_service->start())
            Die("cannot start the signature service");
    }

    QStringList commonArguments(const QString& mac) const {
        return {"--root",    mac + "/root",
                "--home",    mac + "/home",
                "--bundle",  mac + "/Resources",
                "--service", QString::fromStdString(_service->baseUrl()),
                "--yes"};
    }

    Timed quillet(const QString& mac, const QStringList& arguments) const {
        return Time(_options.quillet, commonArguments(mac) + arguments);
    }

    void mustRun(const QString& mac, const QStringList& arguments) const {
        const Timed run = quillet(mac, arguments);
        if (run.exitCode != 0)
            Die("quillet " + arguments.join(' ') + " failed: " + QString::fromUtf8(run.errors));
    }

    void serve(const QString& key, const QString& html) const {
        WriteAll(_serviceFolder + "/" + key + ".html", html.toUtf8());
    }

    QString buildHundredMac() const {
        const QString folder = _options.work + "/mac-hundred";
        QDir(folder).removeRecursively();
        const FakeMac mac(folder);
        const SampleMac sample = BuildSampleMac(mac);
        const FakeAppleMailFiles mail(mac);
        QDir().mkpath(mail.cloudFolder);
        QFile::copy(mail.allSignatures, mail.cloudAllSignatures);
        QStringList prefs;
        for (int i = 1; i <= kPerClient + 1; ++i)
            prefs << FakeIdentityPrefsLines(QString::number(i), ThunderbirdEmail(i),
                                            QString("Person %1").arg(i));
        for (int i = 0; i < 2000; ++i)
            prefs << QString("user_pref(\"extensions.bench.setting%1\", %1);").arg(i);
        WriteFakePrefsFile(QFileInfo(sample.thunderbirdPrefs).absolutePath(), prefs);

        std::vector<Signature> signatures;
        int color = 0;
        for (const ClientKind kind : kClients) {
            for (int i = 1; i <= kPerClient; ++i) {
                Signature signature =
                    NewSignature(QString("%1 %2").arg(DisplayName(kind)).arg(i), ++color);
                signature.keyQe = Key(kind, i);
                serve(signature.keyQe, Html(signature.nameQe, 1));
                if (kind == ClientKind::appleMail)
                    SelectAccount(signature, kind, "ann@example.com");
                else if (kind == ClientKind::thunderbird)
                    SelectAccount(signature, kind, ThunderbirdEmail(i));
                else
                    SelectAllAccounts(signature, kind);
                signatures.push_back(signature);
            }
        }
        StoreSignaturesIn(folder, signatures);
        mustRun(folder, {"accounts", "--discover"});
        mustRun(folder, {"refresh"});                     // installs them all
        QDir().mkpath(mail.cacheFolder + "/Signatures");  // Mail reads its signatures again
        return folder;
    }

    QString buildStoredMac(int count) const {
        const QString folder = _options.work + "/mac-stored-" + QString::number(count);
        QDir(folder).removeRecursively();
        const FakeMac mac(folder);
        BuildSampleMac(mac);
        std::vector<Signature> signatures;
        for (int i = 1; i <= count; ++i) {
            Signature signature = NewSignature(QString("Stored %1").arg(i), i);
            signature.localTextQe = Html(signature.nameQe, 1);
            signature.fileNameQe = QString("stored-%1.html").arg(i);
            signature.filePathQe = "/Users/person/Signatures/" + signature.fileNameQe;
            SelectAllAccounts(signature, ClientKind::spark);
            signature.clientKindToSelectedInstallationsInfoMap[ClientKind::spark]
                .allAccountsPayloadX = SelectedInstallationPayload{false};
            auto& performed =
                signature.clientKindToPerformedInstallationsInfoMap[ClientKind::spark];
            performed.allAccountsInstalled = true;
            performed.allAccountsPayloadX = PerformedInstallationPayload{
                CanonicalUuidText(signature.uuid()), signature.localTextQe};
            signatures.push_back(signature);
        }
        StoreSignaturesIn(folder, signatures);
        mustRun(folder, {"accounts", "--discover"});
        return folder;
    }

    // The floor's plan for an operation, from what the quillet command did on `after`, a copy of
    // `before`; its contents go into `planFolder`. `target` is the Mac the floor will run on.
    QString floorPlan(const Operation& operation, const QString& before, const QString& after,
                      const QString& planFolder) const {
        QDir(planFolder).removeRecursively();
        QDir().mkpath(planFolder);
        QStringList steps;
        const auto step = [&](const QStringList& fields) {
            QStringList escaped;
            for (const QString& field : fields)
                escaped << Escaped(field);
            steps << escaped.join('\t');
        };
        const auto readIfThere = [&](const QString& relative) {
            if (QFileInfo(before + relative).isFile())
                step({"read", "@MAC@" + relative});
        };
        const QString store = "@MAC@/home/Library/Application Support/Quillet/DataV2.sqlite";
        // What every operation reads: the brand, the store, the accounts cache.
        readIfThere("/Resources/Info.plist");
        step({operation.lists ? "query" : "sql", store, kEveryStoredRow});
        readIfThere("/home/Library/Application Support/Quillet/CachedAccounts.plist");
        if (!operation.sourceFile.isEmpty())
            step({"read", operation.sourceFile});
        // The service request, as quillet sent it.
        const QString log =
            QString::fromUtf8(ReadAll(after + "/home/Library/Logs/Quillet/" + kLogFileName));
        static const QRegularExpression request("request URL: http://([0-9.]+):([0-9]+)(\\S+)");
        const auto sent = request.match(log);
        if (sent.hasMatch())
            step({"get", sent.captured(1), sent.captured(2), sent.captured(3)});
        // The client's files.
        const QString library = "/home/Library";
        const auto app = [&](const QString& bundle) {
            readIfThere("/root" + bundle + "/Contents/Info.plist");
        };
        switch (operation.client ? *operation.client : ClientKind::outlook) {
            case ClientKind::appleMail:
                app("/System/Applications/Mail.app");
                for (const char* file :
                     {"/Mail/V10/MailData/Signatures/AccountsMap.plist",
                      "/Mail/V10/MailData/Signatures/AllSignatures.plist",
                      "/Mobile Documents/com~apple~mail/Data/V4/Signatures/AllSignatures.plist",
                      "/Containers/com.apple.mail/Data/Library/Preferences/com.apple.mail.plist"})
                    readIfThere(library + file);
                break;
            case ClientKind::outlook:
                // Also no client at all (a listing): then nothing of Outlook's either.
                if (operation.client) {
                    app("/Applications/Microsoft Outlook.app");
                    step({"run", "@MAC@/root/usr/bin/defaults", "read", "com.microsoft.Outlook",
                          "IsRunningNewOutlook"});
                }
                break;
            case ClientKind::postbox:
            case ClientKind::thunderbird: {
                const bool postbox = *operation.client == ClientKind::postbox;
                app(postbox ? "/Applications/Postbox.app" : "/Applications/Thunderbird.app");
                const QString profiles =
                    library + "/" + FakeMac::MozillaProfilesFolder(*operation.client);
                readIfThere(profiles + "/../profiles.ini");
                const QString profile = profiles + (postbox ? "/m1x2.default" : "/t7q1.default");
                readIfThere(profile + "/prefs.js");
                if (postbox)
                    readIfThere(profile + "/postbox-signatures");
                break;
            }
            case ClientKind::spark: {
                app("/Applications/Spark.app");
                const QString settings =
                    "@MAC@" + library +
                    "/Group Containers/3L68KQB4HG.group.com.readdle.smartemail/databases/";
                step({"sql", settings + "settings.sqlite",
                      "SELECT itemKey, itemValue FROM settings WHERE itemGroup = "
                      "'SignaturesSettingsItemsGroup'; SELECT itemValue FROM settings WHERE "
                      "itemGroup = 'MetaSettingsItemsGroup' ORDER BY pk DESC;"});
                if (operation.readsAccounts)
                    step({"sql", settings + "messages.sqlite", "SELECT * FROM accounts;"});
                break;
            }
            case ClientKind::evolution:
            case ClientKind::kmail:
            case ClientKind::geary:
                break;  // Linux clients: not on a sample Mac
        }
        // The tools quillet ran: Outlook's and Mail's scripts, Outlook's mode. A restore point's
        // reading of an Outlook signature is the point's, not the floor's.
        const QStringList runsBefore =
            QString::fromUtf8(ReadAll(before + "/root/var/fake-mac/osascript.log"))
                .split('\n', Qt::SkipEmptyParts);
        const QStringList runsAfter =
            QString::fromUtf8(ReadAll(after + "/root/var/fake-mac/osascript.log"))
                .split('\n', Qt::SkipEmptyParts);
        for (const QString& run : runsAfter.mid(runsBefore.size())) {
            const QString name = run.section('\t', 0, 0);
            if (name == "Outlook-GetSignatureContent")
                continue;
            const QString script = planFolder + "/script-" + name;
            WriteAll(script,
                     ReadAll(after + "/root/var/fake-mac/osascript/" + name + "/last-script"));
            step({"run", "@MAC@/root/usr/bin/osascript", script});
        }
        // The same durable writes: the client files that changed, Spark's rows in one
        // transaction.
        const MacFiles old = ClientFiles(before), now = ClientFiles(after);
        int written = 0;
        for (const auto& [relative, bytes] : now) {
            const auto was = old.find(relative);
            if (was != old.end() && was->second == bytes)
                continue;
            if (relative.endsWith("settings.sqlite")) {
                step(
                    {"sql", "@MAC@" + relative, sparkChanges(before + relative, after + relative)});
                continue;
            }
            const QString source = planFolder + "/file-" + QString::number(++written);
            WriteAll(source, bytes);
            step({"write", "@MAC@" + relative, source});
        }
        for (const auto& [relative, bytes] : old) {
            if (!now.count(relative))
                step({"remove", "@MAC@" + relative});
        }
        const QString cache =
            library + "/Containers/com.apple.mail/Data/Library/Caches/com.apple.mail";
        if (QFileInfo(before + cache).isDir() && !QFileInfo(after + cache).exists())
            step({"removetree", "@MAC@" + cache});
        // One store commit and one synchronised log line.
        step({"sql", store,
              "BEGIN IMMEDIATE; UPDATE ZSIGNATUREENTITYV2 SET Z_OPT = Z_OPT + 1 WHERE Z_PK = "
              "(SELECT MAX(Z_PK) FROM ZSIGNATUREENTITYV2); COMMIT;"});
        step(
            {"log", "@MAC@/home/Library/Logs/Quillet/" + kLogFileName, "floor: " + operation.name});
        return steps.join('\n') + '\n';
    }

    // Spark's changed rows as the statements that make them so, in one transaction.
    static QString sparkChanges(const QString& before, const QString& after) {
        std::map<QString, QStringList> old, now;
        for (const QString& row : SparkRows(before))
            old[row.section('\x1f', 0, 1)] = row.split('\x1f');
        for (const QString& row : SparkRows(after))
            now[row.section('\x1f', 0, 1)] = row.split('\x1f');
        QStringList sql{"BEGIN;"};
        for (const auto& [key, columns] : now) {
            const auto was = old.find(key);
            if (was != old.end() && was->second == columns)
                continue;
            const QString where =
                "itemGroup = " + Quoted(columns[0]) + " AND itemKey = " + Quoted(columns[1]);
            sql << "DELETE FROM settings WHERE " + where + ";";
            sql << "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) "
                   "VALUES (" +
                       Quoted(columns[0]) + ", " + Quoted(columns[1]) + ", " + Quoted(columns[2]) +
                       ", " + columns[3] + ", " + columns[4] + ");";
        }
        sql << "COMMIT;";
        return sql.join(' ');
    }

    struct Pair {
        Timed quillet;
        Timed floor;
    };

    // Runs the operation and its floor `runs` times, each on fresh copies of its Mac.
    std::vector<Pair> timePairs(const Operation& operation) const {
        const QString run = _options.work + "/run";
        const QString quilletMac = run + "/quillet", floorMac = run + "/floor";
        const QString planFolder = run + "/plan-" + QString(operation.name).replace(' ', '-');
        QString plan;
        std::vector<Pair> pairs;
        for (int i = 0; i < _options.runs; ++i) {
            CopyFolder(operation.mac, quilletMac);
            CopyFolder(operation.mac, floorMac);
            const auto timeQuillet = [&] {
                const Timed timed = quillet(quilletMac, operation.arguments);
                if (timed.exitCode != 0)
                    Die(operation.name + ": quillet failed: " + QString::fromUtf8(timed.errors));
                return timed;
            };
            const auto timeFloor = [&] {
                const Timed timed = Time(_options.floor, {planFolder + "/plan"});
                if (timed.exitCode != 0)
                    Die(operation.name + ": the floor failed: " + QString::fromUtf8(timed.errors));
                return timed;
            };
            Pair pair;
            if (i == 0) {
                pair.quillet = timeQuillet();
                plan = floorPlan(operation, operation.mac, quilletMac, planFolder);
                WriteAll(planFolder + "/plan", QString(plan).replace("@MAC@", floorMac).toUtf8());
                pair.floor = timeFloor();
            } else if (i % 2 == 1) {
                pair.floor = timeFloor();
                pair.quillet = timeQuillet();
            } else {
                pair.quillet = timeQuillet();
                pair.floor = timeFloor();
            }
            pairs.push_back(pair);
        }
        QDir(run).removeRecursively();
        return pairs;
    }

    // The same operation on two Macs (10 and 10,000 stored), pair by pair.
    std::vector<Pair> timeScaling(const QString& small, const QString& large,
                                  const QStringList& arguments) const {
        const QString run = _options.work + "/run";
        const auto timeOn = [&](const QString& mac) {
            const Timed timed = quillet(mac, arguments);
            if (timed.exitCode != 0)
                Die("quillet " + arguments.join(' ') +
                    " failed: " + QString::fromUtf8(timed.errors));
            return timed;
        };
        auto pairs = timeSmallAndLarge(
            [&] {
                CopyFolder(small, run + "/small");
                CopyFolder(large, run + "/large");
            },
            [&] { return timeOn(run + "/small"); }, [&] { return timeOn(run + "/large"); });
        QDir(run).removeRecursively();
        return pairs;
    }

    // The floor program reading every stored row, as the making of every command's engine does,
    // on the two Macs pair by pair: what the scaling rows cannot go below.
    std::vector<Pair> timeReadingEveryRow(const QString& small, const QString& large) const {
        const auto planFor = [&](const QString& mac) {
            const QString plan = _options.work + "/plan-reading-" + QFileInfo(mac).fileName();
            const QString store = DataFolder(mac) + "/DataV2.sqlite";
            WriteAll(
                plan,
                (QStringList{"sql", Escaped(store), Escaped(kEveryStoredRow)}.join('\t') + '\n')
                    .toUtf8());
            return plan;
        };
        const auto timeOn = [&](const QString& plan) {
            const Timed timed = Time(_options.floor, {plan});
            if (timed.exitCode != 0)
                Die("the floor failed: " + QString::fromUtf8(timed.errors));
            return timed;
        };
        const QString smallPlan = planFor(small), largePlan = planFor(large);
        return timeSmallAndLarge([] {}, [&] { return timeOn(smallPlan); },
                                 [&] { return timeOn(largePlan); });
    }

    // `runs` pairs, each after `prepare`, the two taking turns to go first. The small one goes
    // in the "floor" column and the large one in the "quillet" one: the ratio is large/small.
    std::vector<Pair> timeSmallAndLarge(const std::function<void()>& prepare,
                                        const std::function<Timed()>& timeSmall,
                                        const std::function<Timed()>& timeLarge) const {
        std::vector<Pair> pairs;
        for (int i = 0; i < _options.runs; ++i) {
            prepare();
            Pair pair;
            if (i % 2 == 0) {
                pair.floor = timeSmall();
                pair.quillet = timeLarge();
            } else {
                pair.quillet = timeLarge();
                pair.floor = timeSmall();
            }
            pairs.push_back(pair);
        }
        return pairs;
    }

    // `quillet run` on the Mac until it is idle: its resident memory then, in MiB.
    double idleResidentMiB(const QString& mac) const {
        const QString run = _options.work + "/run";
        CopyFolder(mac, run + "/idle");
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(_options.quillet, commonArguments(run + "/idle") + QStringList{"run"});
        process.waitForStarted();
        const QString stat = QString("/proc/%1/stat").arg(process.processId());
        const QString status = QString("/proc/%1/status").arg(process.processId());
        // Idle: the start's refresh is done and no CPU time was spent for a second.
        const QString log = run + "/idle/home/Library/Logs/Quillet/" + kLogFileName;
        QByteArray lastTimes;
        int quietChecks = 0;
        for (int i = 0; i < 1200 && quietChecks < 4; ++i) {
            QThread::msleep(250);
            const QList<QByteArray> fields = ReadAll(stat).split(' ');
            const QByteArray times = fields.size() > 15 ? fields[13] + " " + fields[14] : "";
            const bool refreshed = ReadAll(log).contains("RequestUpdatedSignatures()");
            quietChecks = refreshed && times == lastTimes ? quietChecks + 1 : 0;
            lastTimes = times;
        }
        double mib = 0;
        for (const QByteArray& line : ReadAll(status).split('\n')) {
            if (line.startsWith("VmRSS:"))
                mib = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
        }
        process.terminate();
        process.waitForFinished(30000);
        QDir(run).removeRecursively();
        return mib;
    }

    // The log after `count` installs into a Mac: its size and whether it was rotated.
    std::pair<qint64, bool> logAfterInstalls(const QString& mac, int count,
                                             const QString& signatureFile) const {
        const QString run = _options.work + "/run/installs";
        CopyFolder(mac, run);
        const QString logs = run + "/home/Library/Logs/Quillet/";
        const qint64 before = QFileInfo(logs + kLogFileName).size();
        for (int i = 0; i < count; ++i) {
            mustRun(run, {"install", "--file", signatureFile, "--client", "thunderbird",
                          "--account", "tom@example.com"});
        }
        const bool rotated = QFileInfo::exists(logs + kPreviousLogFileName);
        const qint64 size = QFileInfo(logs + kLogFileName).size() - (rotated ? 0 : before);
        QDir(_options.work + "/run").removeRecursively();
        return {size, rotated};
    }

    const Options& options() const { return _options; }

private:
    Options _options;
    QString _serviceFolder;
    std::unique_ptr<SignatureService> _service;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One line per operation: the medians of both columns, then the ratio of each pair (wall time;
// then CPU time, which the machine's other work disturbs less).
void PrintPairs(const QString& name, const std::vector<Bench::Pair>& pairs, const char* first,
                const char* second) {
    std::vector<double> quillet, floor, ratios, cpuRatios;
    for (const auto& pair : pairs) {
        quillet.push_back(pair.quillet.milliseconds);
        floor.push_back(pair.floor.milliseconds);
        ratios.push_back(pair.quillet.milliseconds / pair.floor.milliseconds);
        cpuRatios.push_back(pair.quillet.cpuMilliseconds /
                            std::max(pair.floor.cpuMilliseconds, 0.1));
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(cpuRatios.begin(), cpuRatios.end());
    std::printf(
        "%-44s %s %8.1f ms  %s %8.1f ms  ratio %5.2f / %5.2f / %5.2f  (CPU %5.2f / %5.2f / "
        "%5.2f)\n",
        name.toUtf8().constData(), first, Median(quillet), second, Median(floor), ratios.front(),
        Median(ratios), ratios.back(), cpuRatios.front(), Median(cpuRatios), cpuRatios.back());
    std::fflush(stdout);
}

int Main(const Options& options) {
    Bench bench(options);
    const auto wanted = [&](const QString& name) {
        return options.only.isEmpty() || name.contains(options.only, Qt::CaseInsensitive);
    };
    const QString signatureFile = options.work + "/bench-signature.html";
    WriteAll(signatureFile, Html("A new file signature", 1).toUtf8());

    std::printf("%d pairs each; ratio min / median / max (machine load: %s)\n", options.runs,
                ReadAll("/proc/loadavg").trimmed().constData());
    std::fflush(stdout);
    const auto refreshName = [](ClientKind kind) {
        return DisplayName(kind) + " refresh, 1 of 100 changed";
    };
    const auto installName = [](ClientKind kind) {
        return DisplayName(kind) + " install of one file signature";
    };
    const bool hundredWanted = std::any_of(
        std::begin(kClients), std::end(kClients),
        [&](ClientKind kind) { return wanted(refreshName(kind)) || wanted(installName(kind)); });
    const QStringList storedNames = {"colour change, 10,000 stored vs 10",
                                     "install, 10,000 stored vs 10",
                                     "list, 1,000 stored",
                                     "run idle, 10,000 stored",
                                     "log after installs, 10,000 stored",
                                     "floor: reading every row, 10,000 vs 10"};
    if (hundredWanted) {
        const QString hundred = bench.buildHundredMac();
        for (const ClientKind kind : kClients) {
            const QString refresh = refreshName(kind);
            if (wanted(refresh)) {
                bench.serve(Key(kind, kChanged),
                            Html(QString("%1 %2").arg(DisplayName(kind)).arg(kChanged), 2));
                PrintPairs(refresh,
                           bench.timePairs({refresh, hundred, {"refresh"}, kind, false, {}}),
                           "quillet", "floor");
                bench.serve(Key(kind, kChanged),
                            Html(QString("%1 %2").arg(DisplayName(kind)).arg(kChanged), 1));
            }
        }
        for (const ClientKind kind : kClients) {
            const QString install = installName(kind);
            if (!wanted(install))
                continue;
            QStringList arguments{"install", "--file", signatureFile, "--client", StoredText(kind)};
            if (kind == ClientKind::appleMail)
                arguments << "--account"
                          << "ann@example.com";
            if (kind == ClientKind::thunderbird)
                arguments << "--account" << ThunderbirdEmail(kPerClient + 1);
            PrintPairs(install,
                       bench.timePairs({install, hundred, arguments, kind, true, signatureFile}),
                       "quillet", "floor");
        }
    }
    if (std::any_of(storedNames.begin(), storedNames.end(), wanted)) {
        const QString ten = bench.buildStoredMac(10);
        const QString tenThousand = bench.buildStoredMac(10'000);
        if (wanted(storedNames[0]))
            PrintPairs(storedNames[0], bench.timeScaling(ten, tenThousand, {"color", "1", "5"}),
                       "10,000", "10");
        // Beside the scaling rows, so that what their 10,000 column cannot go below is in view.
        if (wanted(storedNames[5]))
            PrintPairs(storedNames[5], bench.timeReadingEveryRow(ten, tenThousand), "10,000", "10");
        if (wanted(storedNames[1])) {
            PrintPairs(storedNames[1],
                       bench.timeScaling(ten, tenThousand,
                                         {"install", "--file", signatureFile, "--client",
                                          "thunderbird", "--account", "tom@example.com"}),
                       "10,000", "10");
        }
        if (wanted("list, 1,000 stored")) {
            const QString thousand = bench.buildStoredMac(1'000);
            PrintPairs(
                "list, 1,000 stored",
                bench.timePairs(
                    {"list, 1,000 stored", thousand, {"list"}, std::nullopt, false, {}, true}),
                "quillet", "floor");
        }
        if (wanted(storedNames[3])) {
            std::printf("%-44s %8.1f MiB resident (10 stored: %.1f MiB)\n",
                        "run idle, 10,000 stored", bench.idleResidentMiB(tenThousand),
                        bench.idleResidentMiB(ten));
            std::fflush(stdout);
        }
        if (wanted(storedNames[4]) && options.logInstalls > 0) {
            const auto [bytes, rotated] =
                bench.logAfterInstalls(tenThousand, options.logInstalls, signatureFile);
            std::printf("%-44s %8.2f MiB logged%s (rotation limit %.0f MiB)\n",
                        QString("log after %1 installs, 10,000 stored")
                            .arg(options.logInstalls)
                            .toUtf8()
                            .constData(),
                        double(bytes) / (1024 * 1024),
                        rotated ? ", rotated: over the limit" : ", not rotated",
                        double(kLogRotationBytes) / (1024 * 1024));
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace
}  // namespace quillet

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    quillet::Options options;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        const QString& name = arguments[i];
        const QString& value = arguments[i + 1];
        if (name == "--quillet")
            options.quillet = value;
        else if (name == "--floor")
            options.floor = value;
        else if (name == "--work")
            options.work = value;
        else if (name == "--runs")
            options.runs = value.toInt();
        else if (name == "--only")
            options.only = value;
        else if (name == "--log-installs")
            options.logInstalls = value.toInt();
        else
            quillet::Die("unknown option " + name);
    }
    if (options.quillet.isEmpty() || options.floor.isEmpty() || options.work.isEmpty() ||
        options.runs < 1)
        quillet::Die(
            "usage: floor-bench --quillet PATH --floor PATH --work DIR [--runs N] [--only TEXT] "
            "[--log-installs N]");
    return quillet::Main(options);
}
