#include "whatsapp/PicturePaths.h"

#include "common/ConfinedFiles.h"
#include "common/Files.h"

namespace vessamo {

std::optional<Text> indexedProfilePicture(const BackupFileIndex& index, std::string_view stored,
                                          bool groupContainer) {
    if (!isPlainRelativePath(stored)) {
        return std::nullopt;
    }
    const std::string base =
        groupContainer ? std::string(stored)
                       : (index.bNewAppVersion ? "Message/" : "Library/") + std::string(stored);
    if (auto found = index.getFileKeyBytheFilepath(base)) {
        return found;
    }
    if (auto thumb = index.getFileKeyBytheFilepath(base + ".thumb")) {
        return thumb;
    }
    return index.getFileKeyBytheFilepath(base + ".jpg");
}

std::optional<Text> indexedSenderPicture(const BackupFileIndex& index, std::string_view stored) {
    if (!isPlainRelativePath(stored)) {
        return std::nullopt;
    }
    if (auto file = index.getFileKeyBytheFilepath(stored)) {
        return file;
    }
    return index.getFileKeyBytheFilepath(std::string(stored) + ".thumb");
}

std::string timelinePicture(const std::string& folder, std::string_view stored) {
    // The name alone: a stored path must not lead out of the folder.
    const std::string_view name = lastComponent(stored);
    const std::string base = folder + "/" + std::string(name);
    if (name != "." && name != ".." && !name.empty()) {
        if (isSourceFile({folder, base})) {
            return base;
        }
        if (isSourceFile({folder, base + ".jpg"})) {
            return base + ".jpg";
        }
    }
    return base + ".thumb";
}

}  // namespace vessamo
