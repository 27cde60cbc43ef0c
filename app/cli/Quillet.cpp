#include "app/cli/Quillet.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

#include "app/cli/CommandLine.h"
#include "app/cli/Commands.h"
#include "app/cli/DemoCommand.h"
#include "app/cli/DryRun.h"
#include "app/cli/InstallCommand.h"
#include "app/cli/RestoreCommands.h"
#include "app/cli/Session.h"
#include "app/cli/SignatureCommands.h"
#include "app/cli/StatusCommand.h"
#include "common/Brand.h"
#include "platform/Bundle.h"

namespace quillet {

namespace {

void PrintError(const QString& text) {
    std::fprintf(stderr, "quillet: %s\n", text.toUtf8().constData());
}

}  // namespace

int RunQuilletCommand(const QStringList& arguments) {
    const auto parse = ParseCommandLine(arguments);
    if (!parse) {
        PrintError(parse.error());
        std::fprintf(stderr, "Try 'quillet --help'.\n");
        return 2;
    }
    const CommandLine& line = *parse;
    if (line.help) {
        std::fputs(UsageText().toUtf8().constData(), stdout);
        return 0;
    }
    const auto bundle = Bundle::open(Bundle::locate(line.bundle));
    if (!bundle) {
        PrintError("cannot read the application's resources at " + Bundle::locate(line.bundle));
        return 1;
    }
    const auto brand = Brand::load(*bundle, Brand::Deliverable::desktopApp);
    if (!brand) {
        PrintError(brand.error());
        return 1;
    }
    if (line.version) {
        std::printf("%s\n", brand->versionLine().toUtf8().constData());
        return 0;
    }
    if (line.dryRun && !DryRunAllowed(line.command)) {
        PrintError("--dry-run works with install, update, rename, uninstall, refresh and restore");
        return 2;
    }
    const std::map<QString, int (*)(Session&)> commands = {
        {"clients", RunClientsCommand},
        {"accounts", RunAccountsCommand},
        {"list", RunListCommand},
        {"show", RunShowCommand},
        {"install", RunInstallCommand},
        {"update", RunUpdateCommand},
        {"rename", RunRenameCommand},
        {"color", RunColorCommand},
        {"uninstall", RunUninstallCommand},
        {"refresh", RunRefreshCommand},
        {"run", RunRunCommand},
        {"status", RunStatusCommand},
        {"backups", RunBackupsCommand},
        {"restore", RunRestoreCommand},
    };
    if (line.command == "demo")
        return RunDemoCommand(line);
    const auto command = commands.find(line.command);
    if (command == commands.end()) {
        PrintError("the command " + line.command + " is not available in this build");
        return 1;
    }
    auto session = Session::open(line);
    if (!session)
        return 1;
    if (!session->dryRun())
        return command->second(*session);
    // The command's own output would describe a change that was not made: the plan replaces it.
    std::fflush(stdout);
    const int savedOutput = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    const int status = command->second(*session);
    std::fflush(stdout);
    ::dup2(savedOutput, STDOUT_FILENO);
    ::close(null);
    ::close(savedOutput);
    if (status == 0)
        PrintDryRunPlan(*session->dryRun(), session->core().clientKinds(), line.json);
    return status;
}

}  // namespace quillet
