#pragma once

#include <vector>

#include "results/KTWhatsAppCovNode.h"

namespace vessamo {

// Gathers a conversation's messages from the scan's message list on first
// use, in list order. The starred list also takes every starred message.
// Deleted-only conversations already hold theirs and are left alone.
void fillConversation(KTWhatsAppCovNode& conversation,
                      const std::vector<KTWhatsAppNodePtr>& messages);

}  // namespace vessamo
