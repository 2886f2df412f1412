#pragma once

#include <optional>
#include <string>

#include "common/ConfinedFiles.h"
#include "common/ScratchFolder.h"

namespace vessamo {

// Copies a database into the scratch folder, places its write-ahead log
// beside the copy (walSource when given, else "<source>-wal" when that
// exists) and folds it in ("Failed to commit" is logged when the log
// cannot be folded; the copy is still returned). Returns the path of the folded copy, or nullopt
// when the source cannot be read. The source is only ever read.
[[nodiscard]] std::optional<std::string> makeFoldedCopy(ScratchFolder& scratch,
                                                        const std::string& source,
                                                        const std::string& walSource = "");
// The same for a database of a source folder: it and its log are read inside
// source.root without following links, and must be regular files.
[[nodiscard]] std::optional<std::string> makeFoldedCopy(ScratchFolder& scratch,
                                                        const PathWithin& source,
                                                        const std::string& walSource = "");

}  // namespace vessamo
