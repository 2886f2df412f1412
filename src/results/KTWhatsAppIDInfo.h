#pragma once

#include "common/Text.h"

namespace vessamo {

// The account owner.
struct KTWhatsAppIDInfo {
    Text whatsAppNodeName;
    Text whatsAppNodeNumber;
    Text whatsAppCurrentStatus;
    Text whatsAppContactPath;
    // Where the phone is used ("DE"), from the backup's locale: address-book
    // numbers saved without a country code belong there. Empty when unknown.
    Text localeRegion;
};

}  // namespace vessamo
