#include "tests/support/FileFaults.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDirIterator>
#include <QFile>
#include <map>
#include <optional>
#include <type_traits>
#include <utility>

namespace quillet {

namespace {

// The library's function of that name, called when this executable has it (found at run time, so
// that test executables without the library still link); otherwise nothing, or a zero.
template <typename Result, typename... Args>
Result Call(const char* name, Args... args) {
    const auto function = reinterpret_cast<Result (*)(Args...)>(dlsym(RTLD_DEFAULT, name));
    if constexpr (std::is_void_v<Result>) {
        if (function)
            function(args...);
    } else {
        return function ? function(args...) : Result{};
    }
}

// By the action's number.
const char* const kActionNames[] = {"count", "fail", "kill"};

}  // namespace

bool FileFaults::Available() {
    return dlsym(RTLD_DEFAULT, "QuilletFileFaultsArm") != nullptr;
}

FileFaults::FileFaults(const QString& folder, FileFaultAction action, long target,
                       const QString& ignoredSuffix) {
    Call<void>("QuilletFileFaultsArm", folder.toLocal8Bit().constData(), int(action), target,
               ignoredSuffix.toLocal8Bit().constData());
}

FileFaults::~FileFaults() {
    Call<void>("QuilletFileFaultsDisarm");
}

void FileFaults::failWith(int errorNumber) {
    Call<void>("QuilletFileFaultsFailWith", errorNumber);
}

void FileFaults::faultReads(FileReadFault fault) {
    Call<void>("QuilletFileFaultsFaultReads", int(fault));
}

long FileFaults::count() const {
    return Call<long>("QuilletFileFaultsCount");
}

bool FileFaults::fired() const {
    return Call<int>("QuilletFileFaultsFired") != 0;
}

QString FileFaults::lastFault() const {
    return QString::fromLocal8Bit(Call<const char*>("QuilletFileFaultsLastFault"));
}

QString FileFaultsLibraryPath() {
    return QUILLET_FILE_FAULTS_LIBRARY;
}

QProcessEnvironment FileFaultsEnvironment(QProcessEnvironment environment, const QString& folder,
                                          FileFaultAction action, long target,
                                          const QString& reportPath) {
    environment.insert("LD_PRELOAD", FileFaultsLibraryPath());
    // The sanitizers' runtime wants to come first among the libraries; the preloaded one is
    // not instrumented and does not mind coming before it.
    const QString asan = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS",
                       (asan.isEmpty() ? QString() : asan + ":") + "verify_asan_link_order=0");
    environment.insert("QUILLET_FILE_FAULTS",
                       QString("%1 %2 %3").arg(kActionNames[int(action)]).arg(target).arg(folder));
    environment.insert("QUILLET_FILE_FAULTS_IGNORE", ".log");
    if (!reportPath.isEmpty())
        environment.insert("QUILLET_FILE_FAULTS_REPORT", reportPath);
    return environment;
}

QProcessEnvironment NoteUnsyncedWrites(QProcessEnvironment environment, const QString& journal) {
    environment.insert("QUILLET_FILE_FAULTS_UNSYNCED", journal);
    return environment;
}

void CutPower(const QString& folder, const QString& journal) {
    // Each file by its device and inode: the size before its unsynchronised writes, if any.
    std::map<std::pair<qulonglong, qulonglong>, std::optional<qint64>> unsynced;
    QFile notes(journal);
    if (!notes.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : notes.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 4) {
            unsynced[{fields[1].toULongLong(), fields[2].toULongLong()}] =
                fields[0] == "D" ? std::optional(fields[3].toLongLong()) : std::nullopt;
        }
    }
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QByteArray path = QFile::encodeName(files.next());
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const auto found = unsynced.find({info.st_dev, info.st_ino});
        if (found != unsynced.end() && found->second && *found->second < info.st_size)
            (void)!::truncate(path.constData(), *found->second);
    }
}

}  // namespace quillet
