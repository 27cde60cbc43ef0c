#pragma once
// Where the system's files are: the user's folders below a home, and system paths below a root.
// Unset, home is $HOME and root is "/", which is exactly right on a Mac; tests and the demo point
// both into a temporary folder to play a whole Mac.

#include <QString>

namespace quillet {

class Paths {
public:
    // An empty temporary folder means the rooted one, ROOT/tmp.
    Paths(QString home, QString root, QString temporary = {});

    // QUILLET_HOME / QUILLET_ROOT, each overridden by a non-empty argument; the temporary
    // folder is TMPDIR when it is set (per user on a Mac).
    static Paths fromEnvironment(const QString& homeOverride = {},
                                 const QString& rootOverride = {});

    const QString& home() const { return _home; }
    const QString& root() const { return _root; }

    QString userLibrary() const;                             // HOME/Library
    QString applicationSupport() const;                      // HOME/Library/Application Support
    QString documents() const;                               // HOME/Documents
    QString logs() const;                                    // HOME/Library/Logs
    const QString& temporary() const { return _temporary; }  // the user's temporary folder

    // An absolute system path ("/Applications") below the root.
    QString system(const QString& absolutePath) const;

private:
    QString _home;
    QString _root;
    QString _temporary;
};

}  // namespace quillet
