#pragma once

#include <optional>
#include <string>

#include "common/ScratchFolder.h"

namespace vessamo {

// Folds a database's write-ahead log into the database file. Only ever
// called on a scratch copy. False when the file is not a database or the
// checkpoint failed (logged as "Failed to commit").
bool commitDB(const std::string& databasePath);

// Copies a database into the scratch folder, places its write-ahead log
// beside the copy (walSource when given, else "<source>-wal" when that
// exists) and folds it in. Returns the path of the folded copy, or nullopt
// when the source cannot be read. The source is only ever read.
[[nodiscard]] std::optional<std::string> makeFoldedCopy(ScratchFolder& scratch,
                                                        const std::string& source,
                                                        const std::string& walSource = "");

}  // namespace vessamo
