#include "platform/Module.h"

#include <QFileInfo>
#include <QLibrary>
#include <map>
#include <memory>
#include <mutex>

namespace quillet {

QFunctionPointer ModuleFunction(const QString& module, const char* symbol, QString& error) {
    static std::mutex mutex;
    // Never unloaded: objects a module made may outlive any caller.
    static std::map<QString, std::unique_ptr<QLibrary>> loaded;
    const std::lock_guard lock(mutex);
    auto& library = loaded[module];
    if (!library) {
        const QString programFolder = QFileInfo("/proc/self/exe").canonicalPath();
        library = std::make_unique<QLibrary>(programFolder + "/../lib/quillet/" + module);
        library->setLoadHints(QLibrary::PreventUnloadHint);
        library->load();
    }
    const QFunctionPointer function = library->resolve(symbol);
    if (!function)
        error = "the " + module + " module cannot be loaded: " + library->errorString();
    return function;
}

}  // namespace quillet
