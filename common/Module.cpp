#include "common/Module.h"

#include <QCoreApplication>
#include <QLibrary>
#include <map>
#include <memory>
#include <mutex>

namespace quillet {

Result<QFunctionPointer> ModuleFunction(const QString& module, const char* symbol) {
    static std::mutex mutex;
    // Never unloaded: objects a module made may outlive any caller.
    static std::map<QString, std::unique_ptr<QLibrary>> loaded;
    const std::lock_guard lock(mutex);
    auto& library = loaded[module];
    if (!library) {
        library = std::make_unique<QLibrary>(QCoreApplication::applicationDirPath() +
                                             "/../lib/quillet/" + module);
        library->setLoadHints(QLibrary::PreventUnloadHint);
        library->load();
    }
    if (const QFunctionPointer function = library->resolve(symbol))
        return function;
    return Failed{"the " + module + " module cannot be loaded: " + library->errorString()};
}

}  // namespace quillet
