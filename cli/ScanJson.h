#pragma once

#include <nlohmann/json.hpp>

#include "app/OrlendoAppDelegate.h"

namespace vessamo::cli {

// The whole result of a finished scan as one JSON object. Keys are the
// records' own property names; absent values are null. Scripts depend on
// this shape.
[[nodiscard]] nlohmann::json scanResultToJson(OrlendoAppDelegate& controller,
                                              const KTIOSDeviceNode& source);

[[nodiscard]] nlohmann::json messageToJson(const KTWhatsAppNode& message,
                                           const BackupFileIndex& index);

}  // namespace vessamo::cli
