#pragma once

#include "common/Text.h"

namespace vessamo {

// The account owner.
struct KTWhatsAppIDInfo {
    Text whatsAppNodeName;
    Text whatsAppNodeNumber;
    Text whatsAppCurrentStatus;
    Text whatsAppContactPath;
};

}  // namespace vessamo
