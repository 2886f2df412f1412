#pragma once

#include <optional>
#include <string_view>

#include "common/Text.h"
#include "results/KTTreeDirNode.h"

namespace vessamo {

// One item of the media browser, made from a file of the source. Its texts
// are views of the tree node's, so it lives no longer than their result.
struct IKImageItem {
    std::optional<Text> filePath;         // the file on disk
    std::optional<Text> fileVirtualPath;  // its relative path in the source
    std::optional<Text> fileName;
    Text fileType = "Image";
    std::optional<KTTreeDirNode> fileNode;

    [[nodiscard]] static IKImageItem fromTreeNode(const KTTreeDirNode& node);
    // "Photo", "Video", "Audio", or the bare extension for anything else.
    [[nodiscard]] static Text typeOfPath(Text relativePath);
};

}  // namespace vessamo
