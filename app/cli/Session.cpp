#include "app/cli/Session.h"

#include <unistd.h>
#include <cstdio>

#include "app/clients/LinuxDetection.h"
#include "app/core/SyncPass.h"
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
    QString service = line.service;
    options.serviceUrl = ServiceClient::DefaultBaseUrl(service);
    const bool verbose = line.verbose;
    const ConsoleSink systemLog = SystemLogConsole();
    options.console = [systemLog, verbose](const QString& text) {
        systemLog(text);
        if (verbose)
            std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    };
    const Platform platform{
        session->_paths,         session->_mainQueue,  session->_notificationCenter,
        *session->_prompter,     *session->_workspace, session->_bundle,
        session->_accessibility, session->_layout};
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
    QString error;
    session->_core = Core::create(platform, std::move(options), &error);
    if (!session->_core) {
        std::fprintf(stderr, "quillet: %s\n", error.toUtf8().constData());
        return nullptr;
    }
    return session;
}

void Session::waitUntilIdle() {
    RunEventLoopUntil([this] { return _core->isIdle(); });
}

}  // namespace quillet
