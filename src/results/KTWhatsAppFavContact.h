#pragma once

#include <memory>
#include <string>

namespace vessamo {

// A WhatsApp contact known to the account.
struct KTWhatsAppFavContact {
    std::string contactImagePath;
    std::string contactStatu;
    std::string contactName;
    std::string whatsAppID;
    bool bSelected = false;
};

using KTWhatsAppFavContactPtr = std::shared_ptr<KTWhatsAppFavContact>;

}  // namespace vessamo
