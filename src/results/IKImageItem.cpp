#include "results/IKImageItem.h"

#include "common/Files.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

std::string_view extensionOf(std::string_view path) {
    std::string_view name = lastComponent(path);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    return name.substr(dot + 1);
}

}  // namespace

Text IKImageItem::typeOfPath(Text relativePath) {
    const std::string_view extension = extensionOf(relativePath);
    const std::string lower = asciiLower(extension);
    if (lower == "jpg" || lower == "png" || lower == "gif" || lower == "thumb") {
        return "Photo";
    }
    if (lower == "mov" || lower == "mp4") {
        return "Video";
    }
    if (lower == "m4a" || lower == "aac" || lower == "opus") {
        return "Audio";
    }
    return Text::borrowed(extension);  // a part of the path, which outlives the item
}

IKImageItem IKImageItem::fromTreeNode(const KTTreeDirNode& node) {
    IKImageItem item;
    item.filePath = node.fileKey;
    item.fileVirtualPath = node.filePath;
    item.fileName = Text::borrowed(lastComponent(node.filePath));
    item.fileType = typeOfPath(node.filePath);
    item.fileNode = node;
    return item;
}

}  // namespace vessamo
