#pragma once

#include "common/Text.h"

namespace vessamo {

// A non-file item shared in a chat (a contact card or a location), or a
// media file as the attachments page lists it.
struct KTWhatsAppResourceNode {
    Text nodeName;
    Text nodeSize;
    Text nodePath;
    Text nodeType;  // "VCard", "Location", or the media type
    Text textContent;
};

}  // namespace vessamo
