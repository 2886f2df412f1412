#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// Every message of the chat database in row order, with its attachment
// records. Posts progress from 79 to 95 and the running message count.
void scanWhatsAppMessageThread(ScanState& state, const std::string& folder);

// The progress a message count reports, if any: the fixed steps up to
// 15,000 messages, then a step per 20,000 beyond 22,000, capped at 94.
[[nodiscard]] int progressForMessageCount(int64_t count);

}  // namespace vessamo
