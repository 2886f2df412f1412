#pragma once

#include <optional>

#include "common/AppleTime.h"
#include "common/Text.h"

namespace vessamo {

// A media file attached to a message.
struct KTPhotoAndVideoNode {
    Text fileNodeName;
    Text fileNodeSize;
    Text filePath;                      // the message's stored media path
    std::optional<AppleTime> fileDate;  // the message's time
    bool bmov = false;
};

}  // namespace vessamo
