#pragma once

#include <cstdio>

#include "backup/KTIOSDeviceNode.h"
#include "results/ScanResult.h"

namespace vessamo::cli {

// The version of the shape writeScanJson writes; docs/json-schema.md
// describes it key by key. Raise it when a key changes meaning or goes.
inline constexpr int kScanJsonSchema = 1;

// Streams a finished scan's result as one JSON object into out, record by
// record. Scripts depend on this shape. False when out refused bytes.
[[nodiscard]] bool writeScanJson(const ScanResult& result, const KTIOSDeviceNode& source,
                                 std::FILE* out);

}  // namespace vessamo::cli
