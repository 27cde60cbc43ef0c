#include "app/base/RunProcess.h"

#include <QProcess>
#include <atomic>

#include "common/Text.h"  // DecodeUtf8

namespace quillet {

namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<bool> gEnding{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// How often a waiting run looks whether the process is ending.
constexpr int kEndingCheckMilliseconds = 100;

std::optional<QString> LastNonBlankLine(const QString& text) {
    const QStringList pieces = text.split('\n');
    for (auto it = pieces.crbegin(); it != pieces.crend(); ++it) {
        const QString trimmed = it->trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return std::nullopt;
}

}  // namespace

ProcessOutput RunProcess(const QString& launchPath, const QStringList& arguments) {
    ProcessOutput output;
    if (gEnding.load())
        return output;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(launchPath, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return output;
    output.started = true;
    // Both streams are drained while waiting, so a tool that fills one pipe cannot stall. The
    // wait has no time limit (a person may be answering a prompt) unless the process is ending.
    while (!process.waitForFinished(kEndingCheckMilliseconds)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (gEnding.load())
            process.kill();
    }
    output.crashed = process.exitStatus() == QProcess::CrashExit;
    output.exitCode = process.exitCode();
    output.standardOutput = DecodeUtf8(process.readAllStandardOutput());
    output.standardError = DecodeUtf8(process.readAllStandardError());
    if (output.standardError)
        output.lastErrorLine = LastNonBlankLine(*output.standardError);
    return output;
}

void EndChildProcesses() noexcept {
    gEnding.store(true);
}

}  // namespace quillet
