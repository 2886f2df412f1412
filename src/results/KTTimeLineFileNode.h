#pragma once

#include <memory>
#include <optional>
#include <string>

namespace vessamo {

// One Timeline backup folder.
struct KTTimeLineFileNode {
    std::optional<std::string> nodeName;
    std::optional<std::string> nodePath;
    bool bBackupFinished = false;
};

using KTTimeLineFileNodePtr = std::shared_ptr<KTTimeLineFileNode>;

}  // namespace vessamo
