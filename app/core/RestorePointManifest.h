#pragma once
// A restore point's "manifest.json": what the point holds and where, as JSON.
//   {"id", "time" (ISO 8601, UTC), "reason", "clients": [CLIENT…],
//    "files": [{"client", "path", "copy" (null: there was no file), "size", "sha256"}],
//    "rows": [{"client", "database", "table", "key": [[COLUMN, VALUE]…], "rows": [{COLUMN:
//    VALUE}…]}], "signatures": [{"client", "name", "content" (null: there was none)}]}

#include <QString>
#include <optional>

#include "app/core/RestorePoints.h"

namespace quillet {

// The point in `folder`; absent when its manifest is missing or not of this shape.
std::optional<RestorePoint> ReadRestorePointManifest(const QString& folder);

// Written durably and atomically into the point's folder; nothing on success, else what failed.
std::optional<QString> WriteRestorePointManifest(const RestorePoint& point);

}  // namespace quillet
