#include "platform/Paths.h"

#include <QDir>

namespace quillet {

namespace {

QString WithoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

}  // namespace

Paths::Paths(QString home, QString root, QString temporary)
    : _home(WithoutTrailingSlash(std::move(home))),
      _root(WithoutTrailingSlash(std::move(root))),
      _temporary(WithoutTrailingSlash(std::move(temporary))) {
    if (_root.isEmpty())
        _root = "/";
    if (_temporary.isEmpty())
        _temporary = system("/tmp");
}

Paths Paths::fromEnvironment(const QString& homeOverride, const QString& rootOverride) {
    QString home = homeOverride;
    if (home.isEmpty())
        home = qEnvironmentVariable("QUILLET_HOME");
    if (home.isEmpty())
        home = QDir::homePath();
    QString root = rootOverride;
    if (root.isEmpty())
        root = qEnvironmentVariable("QUILLET_ROOT");
    if (root.isEmpty())
        root = "/";
    // On a Mac TMPDIR is the user's own folder, which other users cannot look into; the shared
    // ROOT/tmp is only the fallback.
    const QString temporary = qEnvironmentVariable("TMPDIR");
    return Paths(QDir(home).absolutePath(), root == "/" ? root : QDir(root).absolutePath(),
                 temporary.isEmpty() ? QString() : QDir(temporary).absolutePath());
}

QString Paths::userLibrary() const {
    return _home + "/Library";
}
QString Paths::applicationSupport() const {
    return userLibrary() + "/Application Support";
}
QString Paths::documents() const {
    return _home + "/Documents";
}
QString Paths::logs() const {
    return userLibrary() + "/Logs";
}

QString Paths::system(const QString& absolutePath) const {
    if (_root == "/")
        return absolutePath;
    return _root + absolutePath;
}

}  // namespace quillet
