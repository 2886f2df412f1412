#include "backup/ScanState.h"

#include "backup/BackupFileLocator.h"
#include "common/DatabaseCopy.h"
#include "common/SystemLog.h"

namespace vessamo {

std::optional<std::string> ScanState::databaseCopy(const std::string& source) {
    auto cached = copies_.find(source);
    if (cached != copies_.end()) {
        return cached->second;
    }
    if (!scratch_) {
        scratch_ = ScratchFolder::create("vessamo-scan");
        if (!scratch_) {
            SystemLog::write("Cannot create a private folder for database copies");
            return std::nullopt;
        }
    }
    auto wal = BackupFileLocator::writeAheadLogOf(source, index);
    auto copy = makeFoldedCopy(*scratch_, source, wal.value_or(std::string()));
    copies_.emplace(source, copy);
    return copy;
}

void ScanState::resetWorkingCollections(bool alsoResources) {
    copies_.clear();
    scratch_.reset();
    index.clear();
    whatsAppGroupInfoArray.clear();
    whatsAppGroupMemberArray.clear();
    whatsAppFavContactArray.clear();
    contactImageArray.clear();
    contactArray.clear();
    wpContactArray.clear();
    wpfContactArray.clear();
    wpCallArray.clear();
    wpChatArray.clear();
    wpConvChatArray.clear();
    wpAttachArray.clear();
    fileDateDict.clear();
    currentNodeInfo.reset();
    if (alsoResources) {
        whatsAppResourceArray.clear();
    }
}

void ScanState::removeSomeArray() {
    contactImageArray.clear();
    contactArray.clear();
    wpContactArray.clear();
    wpfContactArray.clear();
    wpCallArray.clear();
    index.wpMediaArray.clear();
    wpChatArray.clear();
    wpConvChatArray.clear();
    wpAttachArray.clear();
}

}  // namespace vessamo
