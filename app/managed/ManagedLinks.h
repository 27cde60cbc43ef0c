#pragma once
// Which signature each entry of the organisation's configuration installed, kept in the support
// folder ("ManagedSignatures.plist") beside the store, so that the store's own tables stay as
// they are. An entry is known by its key and its ordinal among the entries with that key; its
// signature by its uuid, which outlives store migrations. A signature with a link is managed,
// including one whose entry was removed, until it has left every client.

#include <QString>
#include <QUuid>
#include <vector>

namespace quillet {

struct ManagedLink {
    QString key;
    int ordinal = 0;
    QUuid signatureUuid;
    bool removed = false;  // the entry is gone; the signature is on its way out

    bool operator==(const ManagedLink&) const = default;
};

QString ManagedLinksPath(const QString& supportFolder);
// The links in the file; none when it is missing. Unreadable elements are left out (and logged).
std::vector<ManagedLink> LoadManagedLinks(const QString& supportFolder);
// Writes the links atomically; false (logged) when the file could not be written, the previous
// one then staying.
bool SaveManagedLinks(const QString& supportFolder, const std::vector<ManagedLink>& links);

}  // namespace quillet
