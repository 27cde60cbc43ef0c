// Replays inputs through a fuzz target without libFuzzer: every file named on the command line,
// and every file inside every folder named there. Fails when an argument cannot be read, so a
// moved corpus does not pass silently.

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "fuzz/FuzzSupport.h"

namespace {

bool Replay(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "Could not read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size()));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (!QFileInfo(argument).isDir()) {
            if (!Replay(argument))
                return 1;
            ++replayed;
            continue;
        }
        QDirIterator files(argument, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            if (!Replay(files.next()))
                return 1;
            ++replayed;
        }
    }
    std::printf("Replayed %d input(s)\n", replayed);
    return replayed > 0 ? 0 : 1;
}
