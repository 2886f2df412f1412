#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// The WhatsApp people the account knows: every push name, then every group
// member once. Fills whatsAppFavContactArray and wpfContactArray; posts
// progress 70.
void getWhatsAppFavateContact(ScanState& state, const std::string& folder);

}  // namespace vessamo
