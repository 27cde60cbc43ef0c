#pragma once
// The quillet command's arguments: the global options (before the command), the command and
// its own arguments.

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

#include "common/Result.h"

namespace quillet {

enum class AnswerPolicy { ask, yes, later };

struct CommandLine {
    QString home, root, service, bundle;  // empty: environment or default
    QString platform;                     // "mac", "linux"; empty: environment or default
    std::optional<AnswerPolicy> policy;   // absent: ask on a terminal, else "later"
    bool reopen = false;
    bool dryRun = false;
    bool json = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
    QString command;
    QStringList arguments;  // the command's own arguments, as given
};

// The arguments without the program name; an unknown option or command, or an option without
// its value, is a usage error.
Result<CommandLine> ParseCommandLine(const QStringList& arguments);

QString UsageText();

// The command's own options: "--name value" pairs, "--flag" switches and positional words.
struct CommandArguments {
    QStringList positional;
    std::map<QString, QString> values;
    QStringList flags;
};
// Parses the arguments given the options that take a value and the switches; an unknown option
// or a value option without its value is a usage error.
Result<CommandArguments> ParseCommandArguments(const QStringList& arguments,
                                               const QStringList& valueOptions,
                                               const QStringList& switches);

}  // namespace quillet
