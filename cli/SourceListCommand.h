#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/KTIOSDeviceNode.h"

namespace vessamo::cli {

// The record as the JSON that scripts read; keys are the record's own names.
[[nodiscard]] nlohmann::json sourceToJson(const KTIOSDeviceNode& source);

// `vessamo-cli list`: every source found for the user folder.
int runList(bool asJson, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
