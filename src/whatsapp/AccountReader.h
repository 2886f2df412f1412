#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// The account owner, the pictures of people and groups, then the
// conversations and group members. Reports progress 78 when the chat
// database is there; without it the owner is forgotten too (notFound).
[[nodiscard]] Status getWhatsAppIDInfo(ScanState& state, const std::string& folder);

}  // namespace vessamo
