#pragma once

#include <memory>
#include <string>

namespace vessamo {

// The account owner.
struct KTWhatsAppIDInfo {
    std::string whatsAppNodeName;
    std::string whatsAppNodeNumber;
    std::string whatsAppCurrentStatus;
    std::string whatsAppContactPath;
};

using KTWhatsAppIDInfoPtr = std::shared_ptr<KTWhatsAppIDInfo>;

}  // namespace vessamo
