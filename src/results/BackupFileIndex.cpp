#include "results/BackupFileIndex.h"

#include <sys/stat.h>

#include <string>

namespace vessamo {

std::optional<Text> BackupFileIndex::getFileKeyBytheFilepath(std::string_view relativePath) const {
    auto found = treeFileDict.find(relativePath);
    if (found == treeFileDict.end()) {
        return std::nullopt;
    }
    struct stat info {};
    if (::stat(std::string(found->second).c_str(), &info) != 0) {
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
