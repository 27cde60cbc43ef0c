#include "app/cli/DemoCommand.h"

#include <sys/prctl.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>

#include "app/cli/CommandSupport.h"
#include "app/cli/DemoSnapshot.h"
#include "app/demo/SampleMac.h"
#include "platform/AtomicFile.h"

namespace quillet {

namespace {

void Say(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

// The reference signature service runs as a program of its own beside this one, so that the
// command, which every refresh starts, does not carry an HTTP server and its libraries.
class ServiceProcess {
public:
    ~ServiceProcess() { stop(); }

    // Serves the folder; the service's URL, or empty with the reason in `why`.
    struct Started {
        QString url;
        QString why;
    };
    Started start(const QString& folder) {
        const QString program =
            QCoreApplication::applicationDirPath() + "/quillet-signature-service";
        // It ends with the demo, however the demo ends.
        _process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        _process.start(program, {"--folder", folder});
        if (!_process.waitForStarted(10000))
            return unstarted(program + ": " + _process.errorString());
        // "Serving FOLDER on URL", once it accepts requests.
        QByteArray line;
        while (!line.endsWith('\n')) {
            if (!_process.canReadLine() && !_process.waitForReadyRead(10000))
                return unstarted(program + " said nothing");
            line += _process.readLine();
        }
        const int on = line.lastIndexOf(" on ");
        if (!line.startsWith("Serving ") || on < 0)
            return unstarted(program + " said: " + QString::fromUtf8(line.trimmed()));
        return {QString::fromUtf8(line.mid(on + 4).trimmed()), {}};
    }

    void stop() {
        if (_process.state() == QProcess::NotRunning)
            return;
        _process.terminate();
        if (!_process.waitForFinished(5000))
            _process.kill();
        _process.waitForFinished(-1);
    }

private:
    Started unstarted(const QString& why) {
        stop();
        // What the service said on its way out; its lines about requests are not the demo's.
        const QString said = QString::fromUtf8(_process.readAllStandardError()).trimmed();
        return {{}, said.isEmpty() ? why : why + ": " + said};
    }

    QProcess _process;
};

bool WriteSignature(const QString& folder, const QString& key, const QString& html) {
    // The service may be reading the file while the demo changes it.
    return !WriteFileAtomicallyOrFail(folder + "/" + key + ".html", html.toUtf8());
}

class Demo {
public:
    Demo(const FakeMac& mac, QString serviceUrl) : _mac(mac), _serviceUrl(std::move(serviceUrl)) {}

    // Runs quillet with the words given, prints them, its output and what it wrote; false when
    // it did not end with status 0.
    bool step(const QString& title, const QStringList& words) {
        Say("");
        Say("== " + title);
        Say("$ quillet " + words.join(' '));
        const DemoSnapshot before = snapshot();
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QCoreApplication::applicationFilePath(),
                      QStringList{"--root", _mac.root(), "--home", _mac.home(), "--bundle",
                                  _mac.bundlePath(), "--service", _serviceUrl} +
                          words);
        process.closeWriteChannel();
        process.waitForFinished(-1);
        for (const QString& line :
             QString::fromUtf8(process.readAll()).split('\n', Qt::SkipEmptyParts)) {
            Say("  | " + line);
        }
        const QStringList changes = snapshot().changesSince(before, _mac.folder());
        Say(changes.isEmpty() ? "Nothing written." : "Written:");
        for (const QString& line : changes)
            Say("  " + line);
        const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (!ok)
            Say("(quillet ended with status " + QString::number(process.exitCode()) + ")");
        return ok;
    }

private:
    DemoSnapshot snapshot() const {
        const QString library = _mac.paths().userLibrary();
        return DemoSnapshot::Take(
            {library, _mac.rootPath("/var/fake-mac/clients.json"), _mac.rootPath("/var/run")},
            {library + "/Application Support/Quillet", library + "/Logs"});
    }

    const FakeMac& _mac;
    QString _serviceUrl;
};

}  // namespace

int RunDemoCommand(const CommandLine& line) {
    if (line.arguments.size() > 1 ||
        (!line.arguments.isEmpty() && line.arguments[0].startsWith("--"))) {
        PrintError("demo takes at most one folder");
        return 2;
    }
    QString folder = line.arguments.value(0);
    if (folder.isEmpty()) {
        QTemporaryDir temporary(QDir::tempPath() + "/quillet-demo-XXXXXX");
        temporary.setAutoRemove(false);
        folder = temporary.path();
    }
    if (!QDir().mkpath(folder)) {
        PrintError("cannot make the folder " + folder);
        return 1;
    }
    const FakeMac mac(folder);
    BuildSampleMac(mac);
    const QString signatures = mac.folder() + "/service";
    QDir().mkpath(signatures);
    WriteSignature(signatures, "ann", "<p><b>Ann Example</b> · Sales · +1 555 0100</p>");
    WriteSignature(signatures, "team", "<p>The Example Team · example.com</p>");
    WriteSignature(signatures, "tom", "<p><b>Tom Example</b> · Engineering</p>");
    ServiceProcess service;
    const auto started = service.start(signatures);
    if (started.url.isEmpty()) {
        PrintError("cannot start the signature service: " + started.why);
        return 1;
    }
    const QString url = started.url;
    Say("A sample Mac with Apple Mail, Outlook, Postbox, Spark and Thunderbird: " + mac.folder());
    Say("The reference signature service at " + url + " serves the keys ann, team and tom from " +
        signatures + ".");

    Demo demo(mac, url);
    bool ok = demo.step("The clients Quillet finds", {"clients"});
    ok = demo.step("Apple Mail, for one account", {"--yes", "install", "--key", "ann", "--client",
                                                   "AppleMail", "--account", "ann@example.com"}) &&
         ok;
    for (const char* client : {"Outlook", "Postbox", "Spark"}) {
        ok = demo.step(QString(client) + ", for all accounts",
                       {"--yes", "install", "--key", "team", "--client", client}) &&
             ok;
    }
    ok = demo.step("Thunderbird, for one account",
                   {"--yes", "install", "--key", "tom", "--client", "Thunderbird", "--account",
                    "tom@example.com"}) &&
         ok;

    Say("");
    Say("== The organisation changes the signature \"team\" on the service; Apple Mail is open");
    WriteSignature(signatures, "team",
                   "<p>The Example Team · example.com · now with a phone: +1 555 0199</p>");
    WriteSignature(signatures, "ann", "<p><b>Ann Example</b> · Head of Sales · +1 555 0100</p>");
    mac.setRunning({"com.apple.mail"});
    ok = demo.step("A refresh: Apple Mail is closed, every client written, Apple Mail re-opened",
                   {"--yes", "--reopen", "refresh"}) &&
         ok;
    ok = demo.step("What Quillet keeps", {"list"}) && ok;
    service.stop();

    Say("");
    Say("The service has stopped; the sample Mac stays in " + mac.folder() + ". Try:");
    Say("  " + QCoreApplication::applicationFilePath() + " --root " + mac.root() + " --home " +
        mac.home() + " --bundle " + mac.bundlePath() + " list");
    Say(ok ? "Every step succeeded." : "Some steps failed (see above).");
    return ok ? 0 : 1;
}

}  // namespace quillet
