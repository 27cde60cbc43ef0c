#include "app/cli/CommandLine.h"

#include <map>

#include "common/ServiceClient.h"

namespace quillet {

namespace {

const QStringList kCommands = {"clients", "accounts", "list",    "show",      "install",
                               "update",  "rename",   "color",   "uninstall", "refresh",
                               "run",     "demo",     "backups", "restore",   "status"};

}  // namespace

QString UsageText() {
    return QStringLiteral(
        "Usage: quillet [OPTIONS] COMMAND [ARGUMENTS]\n"
        "\n"
        "Installs HTML email signatures into the desktop email clients and keeps them current.\n"
        "\n"
        "Options (before the command):\n"
        "  --home DIR      the user's home (QUILLET_HOME; default $HOME)\n"
        "  --root DIR      prefix of every system path (QUILLET_ROOT; default /)\n"
        "  --service URL   the signature service (QUILLET_SERVICE_URL)\n"
        "  --bundle DIR    the application's resources (QUILLET_BUNDLE)\n"
        "  --platform OS   mac (the Mac layout under the root) or linux (this desktop)\n"
        "                  (QUILLET_PLATFORM; default: linux on Linux unless a root is given)\n"
        "  --yes           answer every question with its first button\n"
        "  --later         answer every question with its last button\n"
        "  --reopen        re-open closed clients after the update\n"
        "  --json          print JSON (clients, accounts, list, show, install, status, backups)\n"
        "  --verbose       also echo every log line to standard error\n"
        "  --help          show this text\n"
        "  --version       show the version\n"
        "\n"
        "Commands:\n"
        "  clients                              the detected clients\n"
        "  accounts [--discover] [CLIENT...]    each client's accounts\n"
        "  list [--all]                         the listed signatures\n"
        "  show SIG                             one signature, every field\n"
        "  install (--key KEY | --file PATH) [--client CLIENT] [--account EMAIL]\n"
        "          [--replies on|off] [--forwards on|off] [--color N]\n"
        "  update SIG                           fetch again and reinstall\n"
        "  rename SIG NAME                      rename and sync\n"
        "  color SIG N                          change the colour index\n"
        "  uninstall SIG                        remove from every client\n"
        "  refresh                              one refresh from the service\n"
        "  run                                  stay running like the application\n"
        "  status                               clients, permissions, pending installations\n"
        "  backups                              the restore points, newest first\n"
        "  restore ID [--client CLIENT...]      put the store and the clients back\n"
        "  demo [DIR]                           build and drive a sample Mac\n"
        "\n"
        "Clients (CLIENT): AppleMail, Outlook, Postbox, Spark, Thunderbird on a Mac; Thunderbird,\n"
        "Evolution, KMail and Geary on Linux. Evolution and KMail are updated while they run;\n"
        "Thunderbird and Geary are closed, written and started again.\n");
}

Result<CommandLine> ParseCommandLine(const QStringList& arguments) {
    CommandLine line;
    int index = 0;
    const auto fail = [](const QString& message) { return Failed{message}; };
    for (; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        if (!argument.startsWith("--"))
            break;
        const auto takeValue = [&](QString* target) {
            if (index + 1 >= arguments.size() || arguments.at(index + 1).isEmpty())
                return false;
            *target = arguments.at(++index);
            return true;
        };
        if (argument == "--home" || argument == "--root" || argument == "--service" ||
            argument == "--bundle") {
            QString* target = argument == "--home"      ? &line.home
                              : argument == "--root"    ? &line.root
                              : argument == "--service" ? &line.service
                                                        : &line.bundle;
            if (!takeValue(target))
                return fail(argument + " needs a value");
            if (target == &line.service) {
                if (const auto problem = ServiceBaseUrlProblem(QUrl(line.service.trimmed())))
                    return fail("--service " + line.service + " cannot be used: " + *problem);
            }
        } else if (argument == "--platform") {
            if (!takeValue(&line.platform))
                return fail(argument + " needs a value");
            if (line.platform != "mac" && line.platform != "linux")
                return fail("unknown platform " + line.platform + " (mac or linux)");
        } else if (argument == "--yes" || argument == "--later") {
            const AnswerPolicy policy =
                argument == "--yes" ? AnswerPolicy::yes : AnswerPolicy::later;
            if (line.policy && *line.policy != policy)
                return fail("--yes and --later exclude each other");
            line.policy = policy;
        } else if (argument == "--reopen") {
            line.reopen = true;
        } else if (argument == "--dry-run") {
            line.dryRun = true;
        } else if (argument == "--json") {
            line.json = true;
        } else if (argument == "--verbose") {
            line.verbose = true;
        } else if (argument == "--help") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else {
            return fail("unknown option " + argument);
        }
    }
    if (index < arguments.size()) {
        line.command = arguments.at(index++);
        if (!kCommands.contains(line.command))
            return fail("unknown command " + line.command);
        line.arguments = arguments.mid(index);
    } else if (!line.help && !line.version) {
        return fail("no command given");
    }
    return line;
}

Result<CommandArguments> ParseCommandArguments(const QStringList& arguments,
                                               const QStringList& valueOptions,
                                               const QStringList& switches) {
    CommandArguments result;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument.startsWith("--") && argument.size() > 2) {
            if (valueOptions.contains(argument)) {
                if (i + 1 >= arguments.size())
                    return Failed{argument + " needs a value"};
                result.values[argument] = arguments.at(++i);
            } else if (switches.contains(argument)) {
                result.flags.append(argument);
            } else {
                return Failed{"unknown option " + argument};
            }
        } else {
            result.positional.append(argument);
        }
    }
    return result;
}

}  // namespace quillet
