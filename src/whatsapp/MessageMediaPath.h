#pragma once

#include <optional>

#include "common/Text.h"
#include "results/BackupFileIndex.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

// The file inside a backup that holds a message's media: its stored paths
// (media, thumbnail, second thumbnail; empty ones skipped) are relative to
// WhatsApp's own folders, "Message/" in current versions and "Library/" in
// old ones; the first the index knows wins.
[[nodiscard]] std::optional<Text> resolveMessageFile(const KTWhatsAppNode& message,
                                                     const BackupFileIndex& index);

}  // namespace vessamo
