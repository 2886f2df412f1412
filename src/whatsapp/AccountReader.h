#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// The account owner, the pictures of people and groups, then the
// conversations and group members. Posts progress 78.
void getWhatsAppIDInfo(ScanState& state, const std::string& folder);

}  // namespace vessamo
