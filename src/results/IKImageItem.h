#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "results/KTTreeDirNode.h"

namespace vessamo {

// One item of the media browser, made from a file of the source.
struct IKImageItem {
    std::optional<std::string> filePath;         // the file on disk
    std::optional<std::string> fileVirtualPath;  // its relative path in the source
    std::optional<std::string> fileName;
    std::string fileType = "Image";
    std::optional<KTTreeDirNode> fileNode;
    bool bhasCopy = false;
    std::optional<std::string> hasCopy;

    [[nodiscard]] static IKImageItem fromTreeNode(const KTTreeDirNode& node);
    // "Photo", "Video", "Audio", or the bare extension for anything else.
    [[nodiscard]] static std::string typeOfPath(std::string_view relativePath);
};

}  // namespace vessamo
