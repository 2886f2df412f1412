#include "backup/ScanState.h"

namespace vessamo {

void ScanState::resetWorkingCollections(bool alsoResources) {
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
