#include "app/base/RunProcess.h"

#include <QProcess>
#include <QStringDecoder>

namespace quillet {

namespace {

std::optional<QString> DecodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

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
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(launchPath, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return output;
    output.started = true;
    // Both streams are drained while waiting, so a tool that fills one pipe cannot stall.
    process.waitForFinished(-1);
    output.crashed = process.exitStatus() == QProcess::CrashExit;
    output.exitCode = process.exitCode();
    output.standardOutput = DecodeUtf8(process.readAllStandardOutput());
    output.standardError = DecodeUtf8(process.readAllStandardError());
    if (output.standardError)
        output.lastErrorLine = LastNonBlankLine(*output.standardError);
    return output;
}

}  // namespace quillet
