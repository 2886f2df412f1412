#include "results/IKImageItem.h"

#include "common/TextConversion.h"

namespace vessamo {

namespace {

std::string_view lastComponent(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view extensionOf(std::string_view path) {
    std::string_view name = lastComponent(path);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    return name.substr(dot + 1);
}

}  // namespace

std::string IKImageItem::typeOfPath(std::string_view relativePath) {
    std::string_view extension = extensionOf(relativePath);
    std::string lower = asciiLower(extension);
    if (lower == "jpg" || lower == "png" || lower == "gif" || lower == "thumb") {
        return "Photo";
    }
    if (lower == "mov" || lower == "mp4") {
        return "Video";
    }
    if (lower == "m4a" || lower == "aac" || lower == "opus") {
        return "Audio";
    }
    return std::string(extension);
}

IKImageItem IKImageItem::fromTreeNode(const KTTreeDirNode& node) {
    IKImageItem item;
    item.filePath = node.fileKey;
    item.fileVirtualPath = node.filePath;
    item.fileName = std::string(lastComponent(node.filePath));
    item.fileType = typeOfPath(node.filePath);
    item.fileNode = node;
    return item;
}

}  // namespace vessamo
