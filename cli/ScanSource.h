#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/Scanner.h"
#include "backup/KTIOSDeviceNode.h"

namespace vessamo::cli {

// What the command line is about to scan: the folder's kind, the record
// that describes it (as the desktop application's folder chooser makes it)
// and the options the scan runs with.
struct ScanSource {
    SourceKind kind = SourceKind::Backup;
    KTIOSDeviceNode record;
    vessamo::ScanOptions options;
};

// kindText is "itunes", "icloud", "timeline", or empty for the folder to tell.
[[nodiscard]] ScanSource describeSource(const std::string& folder, std::string_view kindText,
                                        bool recoverDeleted);

// The name --kind takes for a kind: "itunes", "icloud" or "timeline".
[[nodiscard]] std::string_view kindName(SourceKind kind);

// Whether a backup that names its iOS version keeps a Manifest.db catalogue
// (iOS 10 and later); nullopt when it names none and the files must tell.
[[nodiscard]] std::optional<bool> manifestDbForVersion(const std::string& iosVersion);

}  // namespace vessamo::cli
