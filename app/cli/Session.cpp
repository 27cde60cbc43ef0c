#include "app/cli/Session.h"

#include <unistd.h>
#include <cstdio>

#include "app/clients/LinuxDetection.h"
#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/core/SyncPass.h"
#include "app/restore/RestorePoints.h"
#include "app/store/StoreCopy.h"
#include "common/Brand.h"
#include "common/Localization.h"
#include "platform/EventLoop.h"
#include "platform/LinuxWorkspace.h"

namespace quillet {

namespace {

TerminalPrompter::Policy PolicyFor(const CommandLine& line) {
    if (line.policy == AnswerPolicy::yes)
        return TerminalPrompter::Policy::firstButton;
    if (line.policy == AnswerPolicy::later)
        return TerminalPrompter::Policy::lastButton;
    return isatty(STDIN_FILENO) ? TerminalPrompter::Policy::ask
                                : TerminalPrompter::Policy::lastButton;
}

}  // namespace

Session::Session(const CommandLine& line, Bundle bundle, SystemLayout layout)
    : _line(line),
      _paths(Paths::fromEnvironment(line.home, line.root)),
      _prompter(std::make_unique<TerminalPrompter>(PolicyFor(line), line.reopen)),
      _bundle(std::move(bundle)),
      _accessibility(_paths),
      _layout(layout) {
    if (layout == SystemLayout::linuxDesktop)
        _workspace = std::make_unique<LinuxWorkspace>(_paths, LinuxClientApplications());
    else
        _workspace = std::make_unique<FileWorkspace>(_paths);
}

std::unique_ptr<Session> Session::open(const CommandLine& line) {
    const QString bundlePath = Bundle::locate(line.bundle);
    auto bundle = Bundle::open(bundlePath);
    if (!bundle) {
        std::fprintf(stderr, "quillet: cannot read the application's resources at %s\n",
                     bundlePath.toUtf8().constData());
        return nullptr;
    }
    const SystemLayoutChoice layout = ChooseSystemLayout(line.platform, line.root);
    if (!layout.layout) {
        std::fprintf(stderr, "quillet: %s\n", layout.error.toUtf8().constData());
        return nullptr;
    }
    std::unique_ptr<Session> session(new Session(line, std::move(*bundle), *layout.layout));
    Core::Options options;
    // The option was checked with the command line; the environment's choice is checked here.
    const QString environmentService = qEnvironmentVariable("QUILLET_SERVICE_URL").trimmed();
    if (line.service.isEmpty() && !environmentService.isEmpty()) {
        if (const auto problem = ServiceBaseUrlProblem(QUrl(environmentService))) {
            std::fprintf(stderr, "quillet: QUILLET_SERVICE_URL %s cannot be used: %s\n",
                         environmentService.toUtf8().constData(), problem->toUtf8().constData());
            return nullptr;
        }
    }
    options.serviceUrl = ServiceClient::DefaultBaseUrl(line.service);
    const ConsoleSink systemLog = SystemLogConsole();
    options.console = !line.verbose ? systemLog : [systemLog](const QString& text) {
        if (systemLog)
            systemLog(text);
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    };
    // Restore points name the command that made them; `run` makes them for its refreshes.
    if (line.command != "run")
        options.changeReason = line.command;
    // Waiting two hours between refreshes, `run` holds no signatures while it waits.
    options.letSignaturesGoWhenIdle = line.command == "run";
    // What these print comes from the store alone: the clients are not looked for.
    static const QStringList kStoreOnlyCommands = {"list", "show"};
    options.detectClients = !kStoreOnlyCommands.contains(line.command);
    Prompter* prompter = session->_prompter.get();
    Workspace* workspace = session->_workspace.get();
    if (line.dryRun) {
        // The engine works on a copy of the support folder, so that nothing it saves is kept.
        auto dryRun = std::make_unique<DryRun>();
        const auto brand = Brand::load(session->_bundle, Brand::Deliverable::desktopApp);
        const QString supportFolder =
            session->_paths.applicationSupport() + "/" + (brand ? brand->supportFolder() : "");
        const auto copyError = brand && dryRun->supportCopy.isValid()
                                   ? CopySupportFolder(supportFolder, dryRun->supportCopy.path())
                                   : std::optional<QString>("no folder for the copy");
        if (copyError) {
            std::fprintf(stderr, "quillet: cannot copy the support folder: %s\n",
                         copyError->toUtf8().constData());
            return nullptr;
        }
        dryRun->supportFolder = supportFolder;
        options.dataFolder = dryRun->supportCopy.path();
        // A restore reads its point where it lies; the preview records none.
        options.restorePointsFolder = RestorePoints::InSupportFolder(supportFolder).folder();
        options.preview = &dryRun->preview;
        dryRun->workspace = std::make_unique<PreviewWorkspace>(*session->_workspace);
        dryRun->prompter = std::make_unique<RecordingPrompter>(*session->_prompter);
        prompter = dryRun->prompter.get();
        workspace = dryRun->workspace.get();
        session->_dryRun = std::move(dryRun);
    }
    const Platform platform{
        session->_paths, session->_mainQueue, session->_notificationCenter, *prompter,
        *workspace,      session->_bundle,    session->_accessibility,      session->_layout};
    // What the main window would say after a pass that wrote the clients without problems.
    session->_notificationCenter.addObserver(
        kSignaturesUpdatedInClientsNotification, [](const QString&, const UserInfo& info) {
            const auto problems = info.find(kSyncHadProblemsKey);
            if (problems == info.end() || !std::any_cast<bool>(problems->second)) {
                std::fprintf(
                    stderr, "%s\n",
                    Localized("Signatures were updated successfully").toUtf8().constData());
            }
        });
    auto core = Core::create(platform, std::move(options));
    if (!core) {
        std::fprintf(stderr, "quillet: %s\n", core.error().toUtf8().constData());
        return nullptr;
    }
    session->_core = std::move(*core);
    session->rediscoverAccountsInFiles();
    return session;
}

void Session::rediscoverAccountsInFiles() {
    // The syncs trust the accounts the accounts cache holds until discovery has run, and a
    // command discovers nothing at start. The cache may be stale (the person gave an account
    // to another address, or removed it, since) or lost; a pass would then write a former
    // owner's signature into the account, or a signature of Quillet's could never leave it. So
    // the accounts that the clients' own files hold are read again before the command. Those
    // that a script or a service lists are not: that would start the client or ask for a
    // permission.
    // Commands that only read run no pass, and need none.
    static const QStringList kReadingCommands = {"clients", "list", "show", "status", "backups"};
    if (kReadingCommands.contains(_line.command))
        return;
    std::vector<ClientKind> kinds;
    for (const auto& [kind, info] : _core->clientKindToAccountsInfoMap()) {
        if (AccountsAreReadFromFiles(kind) &&
            info.status == AccountsInfoStatus::loadedFromCacheOrEmpty)
            kinds.push_back(kind);
    }
    if (kinds.empty())
        return;
    _core->rediscoverAccounts(kinds);
    waitUntilIdle();
}

void Session::waitUntilIdle() {
    RunEventLoopUntil([this] { return _core->isIdle(); });
}

}  // namespace quillet
