#pragma once
// How the store's files are opened when no other way is asked for (StoreOptions::sqliteVfs).

namespace quillet {

// The name of SQLite's default file access with one difference, registered at the first call:
// a write-ahead log that holds frames already is opened as the existing file it is.
const char* StoreVfsName();

}  // namespace quillet
