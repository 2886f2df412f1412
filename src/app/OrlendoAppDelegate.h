#pragma once

#include <cstdint>
#include <string>

#include "app/UiPort.h"
#include "backup/KTIOSDeviceController.h"

namespace vessamo {

// The application's controller: owns the source list and, as scanning
// arrives, the scan state. Reaches the person only through its UiPort.
class OrlendoAppDelegate {
public:
    explicit OrlendoAppDelegate(UiPort& ui,
                                const std::string& operatingSystemVersion = hostVersionText());

    // Rebuilds the source list at launch; a backup root that cannot be read
    // on a system with protected folders brings up the access guide instead.
    void showIphoneDiskView();
    // Rebuilds the source list on the refresh button and says so when empty.
    void actScanIOSBackupFile();

    [[nodiscard]] KTIOSDeviceController& GetKTIOSDeviceController() { return devices_; }

    // Chooses the catalogue reader from an iOS version text: true selects
    // Manifest.db. An empty text leaves the choice as it was and returns false.
    bool IOSVersionIOS6(const std::string& version);

    bool biOS10version = false;
    int32_t macOsMajor = 10;
    int32_t macOsVer = 10;

private:
    [[nodiscard]] static std::string hostVersionText();
    void applyVersionRule(const std::string& text);
    [[nodiscard]] bool hasProtectedFolders() const;
    bool rebuildList(bool atLaunch);

    UiPort& ui_;
    KTIOSDeviceController devices_;
};

}  // namespace vessamo
