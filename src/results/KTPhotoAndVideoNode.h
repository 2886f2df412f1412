#pragma once

#include <memory>
#include <optional>
#include <string>

namespace vessamo {

// A media file attached to a message.
struct KTPhotoAndVideoNode {
    std::string fileNodeName;
    std::string fileNodeSize;
    std::string filePath;                 // the message's stored media path
    std::optional<std::string> fileDate;  // the message's date
    bool bmov = false;
    bool bSelected = false;
};

using KTPhotoAndVideoNodePtr = std::shared_ptr<KTPhotoAndVideoNode>;

}  // namespace vessamo
