#pragma once

#include "common/Text.h"

namespace vessamo {

// A WhatsApp contact known to the account.
struct KTWhatsAppFavContact {
    Text contactImagePath;
    Text contactStatu;
    Text contactName;
    Text whatsAppID;
};

}  // namespace vessamo
