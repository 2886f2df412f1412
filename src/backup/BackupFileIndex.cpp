#include "backup/BackupFileIndex.h"

#include <filesystem>

namespace vessamo {

std::optional<std::string> BackupFileIndex::getFileKeyBytheFilepath(
    std::string_view relativePath) const {
    auto found = treeFileDict.find(std::string(relativePath));
    if (found == treeFileDict.end()) {
        return std::nullopt;
    }
    std::error_code ec;
    if (!std::filesystem::exists(found->second, ec)) {
        return std::nullopt;
    }
    return found->second;
}

void BackupFileIndex::addExisting(const KTTreeDirNode& entry) {
    wpMediaArray.push_back(entry);
    whatsAppFileArray.push_back(entry);
    treeFileDict[entry.filePath] = entry.fileKey;
}

}  // namespace vessamo
