#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "results/BackupFileIndex.h"

namespace vessamo {

// Where files named by file key lie inside a backup folder.
class BackupFileLocator {
public:
    // "folder/7c/7c7f..." in the two-level layout, "folder/7c7f..." in the flat one.
    [[nodiscard]] static std::string keyPath(const std::string& folder, std::string_view key,
                                             bool twoLevel);
    // The file's key: SHA-1 of domain, "-", relative path.
    [[nodiscard]] static std::string fileKey(std::string_view domain,
                                             std::string_view relativePath);
    // Whether path is a regular file itself, not a link to one.
    [[nodiscard]] static bool exists(const std::string& path);

    // The write-ahead log a backup stores for the database at dbPath, when
    // it holds one. The backup keeps it as a file of its own, keyed by the
    // database's relative path plus "-wal", in the same layout. The
    // database's domain and path come from the index, or from the keys the
    // program reads by name (the address book among them).
    [[nodiscard]] static std::optional<std::string> writeAheadLogOf(const std::string& dbPath,
                                                                    const BackupFileIndex& index);
};

}  // namespace vessamo
