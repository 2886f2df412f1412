#include "whatsapp/PicturePaths.h"

#include <filesystem>

namespace vessamo {

namespace fs = std::filesystem;

std::optional<std::string> indexedProfilePicture(const BackupFileIndex& index,
                                                 const std::string& stored, bool groupContainer) {
    std::string base =
        groupContainer ? stored : (index.bNewAppVersion ? "Message/" : "Library/") + stored;
    if (auto found = index.getFileKeyBytheFilepath(base)) {
        return found;
    }
    if (auto thumb = index.getFileKeyBytheFilepath(base + ".thumb")) {
        return thumb;
    }
    return index.getFileKeyBytheFilepath(base + ".jpg");
}

std::optional<std::string> indexedSenderPicture(const BackupFileIndex& index,
                                                const std::string& stored) {
    if (auto file = index.getFileKeyBytheFilepath(stored)) {
        return file;
    }
    return index.getFileKeyBytheFilepath(stored + ".thumb");
}

std::string timelinePicture(const std::string& folder, const std::string& stored) {
    // The name alone: a stored path must not lead out of the folder.
    const std::string name = fs::path(stored).filename().string();
    const std::string base = folder + "/" + name;
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
