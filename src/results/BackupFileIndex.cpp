#include "results/BackupFileIndex.h"

#include "common/ConfinedFiles.h"

namespace vessamo {

std::optional<Text> BackupFileIndex::getFileKeyBytheFilepath(std::string_view relativePath) const {
    auto found = treeFileDict.find(relativePath);
    if (found == treeFileDict.end()) {
        return std::nullopt;
    }
    if (!isSourceFile(within(found->second.str()))) {
        return std::nullopt;
    }
    return found->second;
}

PathWithin BackupFileIndex::within(std::string path) const {
    if (!sourceFolder.empty() && path.starts_with(sourceFolder + "/")) {
        return {sourceFolder, std::move(path)};
    }
    return {{}, std::move(path)};
}

Status BackupFileIndex::skippedStatus() const {
    if (skippedFiles == 0) {
        return Status();
    }
    return Status::invalid("skipped " + std::to_string(skippedFiles) + " file" +
                           (skippedFiles == 1 ? "" : "s") + ": " + std::string(kNotRegularInside));
}

void BackupFileIndex::addExisting(const KTTreeDirNode& entry) {
    if (!isSourceFile(within(entry.fileKey.str()))) {
        ++skippedFiles;
        return;
    }
    wpMediaArray.push_back(entry);
    whatsAppFileArray.push_back(entry);
    treeFileDict[entry.filePath] = entry.fileKey;
}

}  // namespace vessamo
