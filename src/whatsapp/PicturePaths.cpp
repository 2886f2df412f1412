#include "whatsapp/PicturePaths.h"

#include <filesystem>

#include "common/Files.h"

namespace vessamo {

namespace fs = std::filesystem;

std::optional<Text> indexedProfilePicture(const BackupFileIndex& index, std::string_view stored,
                                          bool groupContainer) {
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
    if (auto file = index.getFileKeyBytheFilepath(stored)) {
        return file;
    }
    return index.getFileKeyBytheFilepath(std::string(stored) + ".thumb");
}

std::string timelinePicture(const std::string& folder, std::string_view stored) {
    // The name alone: a stored path must not lead out of the folder.
    const std::string_view name = lastComponent(stored);
    const std::string base = folder + "/" + std::string(name);
    std::error_code ec;
    if (name != "." && name != ".." && !name.empty()) {
        if (fs::is_regular_file(base, ec)) {
            return base;
        }
        if (fs::is_regular_file(base + ".jpg", ec)) {
            return base + ".jpg";
        }
    }
    return base + ".thumb";
}

}  // namespace vessamo
