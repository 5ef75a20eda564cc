#pragma once

#include <QString>

namespace telvane::store {

// Writes a consistent copy of the store at `source` to `destination` with SQLite's online backup, while other
// programs may be writing the store: the copy holds the store as it was at one moment, with every committed write,
// also those still in the WAL. The copy is one self-contained file (no WAL beside it), written under a temporary
// name and then put in place, so an earlier backup of the same name is replaced only by a complete one. A
// destination that is a folder gets the source's file name inside it; an existing destination that is not a
// directory store is refused and left untouched. False, with the reason, on failure.
bool backupStore(const QString& source, const QString& destination, QString* error = nullptr,
                 QString* written = nullptr);

} // namespace telvane::store
