#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// The WhatsApp people the account knows: every push name, then every group
// member once. Fills whatsAppFavContactArray; reports progress 70 when the
// database is there.
[[nodiscard]] Status getWhatsAppFavateContact(ScanState& state, const std::string& folder);

}  // namespace vessamo
