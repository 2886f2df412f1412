#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "results/ScanResult.h"

namespace vessamo {

inline constexpr const char* kBackupTypeITunes = "iTunes Backup";
inline constexpr const char* kBackupTypeICloud = "iCloud Backup";
inline constexpr const char* kBackupTypeDevice = "iOS Backup";
inline constexpr const char* kBackupTypeTimeline = "WhatsAppTimeLine";

// One source a scan can run on, and the result of its last scan.
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

    // What the last scan of this source found; null until one has ended.
    // Switching categories of a scanned source reads it instead of scanning.
    std::shared_ptr<const ScanResult> scanResult;
};

using KTIOSDeviceNodePtr = std::shared_ptr<KTIOSDeviceNode>;

}  // namespace vessamo
