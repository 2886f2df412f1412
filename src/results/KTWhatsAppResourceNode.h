#pragma once

#include <memory>
#include <string>

namespace vessamo {

// A non-file item shared in a chat: a contact card or a location.
struct KTWhatsAppResourceNode {
    std::string nodeName;
    std::string nodeSize;
    std::string nodePath;
    std::string nodeType;  // "VCard" or "Location"
    bool bSelected = false;
    std::string textContent;
};

using KTWhatsAppResourceNodePtr = std::shared_ptr<KTWhatsAppResourceNode>;

}  // namespace vessamo
