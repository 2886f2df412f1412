#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFileIndex.h"
#include "common/ScratchFolder.h"
#include "results/KTCallHistoryNode.h"
#include "results/KTContactImageNode.h"
#include "results/KTContactNode.h"
#include "results/KTPhotoAndVideoNode.h"
#include "results/KTWhatAppGroupInfo.h"
#include "results/KTWhatAppGroupMember.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppIDInfo.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

class NotificationCenter;

// Everything the stages of one scan read and fill. The scan's worker thread
// is the only writer while the scan runs; nothing else looks until it ends.
struct ScanState {
    explicit ScanState(NotificationCenter& center) : notifications(center) {}

    NotificationCenter& notifications;
    std::atomic<bool> bStopScan{false};
    bool biOS10version = false;  // the backup's catalogue is Manifest.db
    bool bScanDeleted = false;   // advanced recovery: carve deleted messages too

    BackupFileIndex index;  // treeFileDict, whatsAppFileArray, wpMediaArray, ...

    std::vector<KTWhatAppGroupInfoPtr> whatsAppGroupInfoArray;
    std::vector<KTWhatAppGroupMemberPtr> whatsAppGroupMemberArray;
    std::vector<KTWhatsAppFavContactPtr> whatsAppFavContactArray;
    std::vector<KTContactImageNodePtr> contactImageArray;
    std::vector<KTContactNodePtr> contactArray;
    std::vector<KTContactNodePtr> wpContactArray;
    std::vector<KTWhatsAppFavContactPtr> wpfContactArray;
    std::vector<KTCallHistoryNodePtr> wpCallArray;
    std::vector<KTWhatsAppNodePtr> wpChatArray;
    std::vector<KTWhatsAppCovNodePtr> wpConvChatArray;
    std::vector<KTPhotoAndVideoNodePtr> wpAttachArray;
    std::vector<KTTreeDirNode> whatsAppResourceArray;
    std::map<std::string, std::string> fileDateDict;  // media path -> message date

    KTWhatsAppIDInfoPtr currentNodeInfo;  // the account owner, when found
    std::string currentScanPath;          // the chat database last read
    std::string tempfilePath;             // where iCloud archives are unpacked, ends in "/"
    // The private folder behind tempfilePath. Exports read the unpacked
    // media after the scan, so it lives until the next iCloud scan replaces
    // it or the state goes away.
    std::optional<ScratchFolder> unpackFolder;
    std::string fullTimelinPath;  // the Timeline folder being read

    [[nodiscard]] bool stopRequested() const { return bStopScan.load(); }

    // The private copy, log folded in, that readers open instead of a
    // source database. Made once per scan and file; nullopt when the source
    // cannot be read.
    [[nodiscard]] std::optional<std::string> databaseCopy(const std::string& source);

    // A scan start: fresh collections, and nothing left of the last scan's
    // index. Sources with their own media lists also drop the old list.
    void resetWorkingCollections(bool alsoResources);
    // After the hand-over: what only the scan needed.
    void removeSomeArray();

private:
    std::optional<ScratchFolder> scratch_;
    std::map<std::string, std::optional<std::string>> copies_;
};

}  // namespace vessamo
