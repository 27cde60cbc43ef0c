#pragma once
// The Mozilla-based clients' files on a fake Mac beyond prefs.js: Postbox's signature list.

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillet {

// PROFILE/postbox-signatures.
QString FakePostboxSignaturesPath(const QString& profilePath);
// Writes PROFILE/postbox-signatures with exactly these bytes; returns its path.
QString WriteFakePostboxSignatures(const QString& profilePath, const QByteArray& contents);
// A file's bytes; absent when it cannot be read.
std::optional<QByteArray> ReadFakeFile(const QString& path);

}  // namespace quillet
