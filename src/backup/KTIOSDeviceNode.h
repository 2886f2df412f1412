#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "results/KTCallHistoryNode.h"
#include "results/KTContactNode.h"
#include "results/KTPhotoAndVideoNode.h"
#include "results/KTTreeDirNode.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

inline constexpr const char* kBackupTypeITunes = "iTunes Backup";
inline constexpr const char* kBackupTypeICloud = "iCloud Backup";
inline constexpr const char* kBackupTypeDevice = "iOS Backup";
inline constexpr const char* kBackupTypeTimeline = "WhatsAppTimeLine";

// One source a scan can run on, and the cache of that scan's results so
// switching categories of a scanned source never scans again.
struct KTIOSDeviceNode {
    std::string strDeviceName;
    std::string strDeviceSize;  // byte size of Info.plist, as decimal text
    std::string strDeviceBackUpTime;
    std::string strDeviceSerial;
    std::optional<std::string> strDeviceType = std::string();  // nullopt: no known type
    std::string strIOSVersion;
    std::string deviceImage;  // named image, "iphone" or "ipad"; "" for none
    std::string itunesVersion;
    std::string backUpFilePath;
    std::string strBackupType;
    bool beEncrypted = false;
    int32_t deviceIndex = -1;
    bool bhasScanCompleted = false;

    // The results of the scans of this source, appended at the end of each.
    std::vector<KTWhatsAppNodePtr> WhatsAppChatArray;
    std::vector<KTWhatsAppCovNodePtr> WhatsAppConvChatArray;
    std::vector<KTPhotoAndVideoNodePtr> WhatsAppResourceArray;
    std::vector<KTTreeDirNode> WhatsAppMediaArray;
    std::vector<KTCallHistoryNodePtr> WhatsAppCallArray;
    std::vector<KTContactNodePtr> WhatsAppContactArray;
    std::vector<KTWhatsAppFavContactPtr> WhatsAppFacContactArray;
};

using KTIOSDeviceNodePtr = std::shared_ptr<KTIOSDeviceNode>;

}  // namespace vessamo
