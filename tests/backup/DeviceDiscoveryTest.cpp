#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "app/OrlendoAppDelegate.h"
#include "backup/KTIOSDeviceController.h"
#include "common/NotificationCenter.h"
#include "common/SystemLog.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::DeviceInfo;
using test::RecordingUiPort;
using test::TempHome;

class DeviceDiscovery : public ::testing::Test {
protected:
    std::string writeBackup(const std::string& name, DeviceInfo device,
                            CatalogueLayout layout = CatalogueLayout::ManifestDb) {
        std::string folder = home.backupRoot() + "/" + name;
        EXPECT_TRUE(sample::whatsAppBackup(layout, std::move(device)).write(folder));
        return folder;
    }

    std::vector<KTIOSDeviceController::Record> listSources() {
        OrlendoAppDelegate controller(ui);
        controller.showIphoneDiskView();
        return controller.GetKTIOSDeviceController().records();
    }

    const KTIOSDeviceNode* find(const std::vector<KTIOSDeviceController::Record>& records,
                                const std::string& folderName) {
        for (const auto& record : records) {
            if (fs::path(record->backUpFilePath).filename() == folderName ||
                record->strDeviceName == folderName) {
                return record.get();
            }
        }
        return nullptr;
    }

    TempHome home;
    test::ScopedTimeZone utc{"UTC"};
    RecordingUiPort ui;
};

TEST_F(DeviceDiscovery, ReadsEveryKindOfBackupFolderInTheRoot) {
    DeviceInfo infoOnly;
    infoOnly.deviceName = "Info Only";
    infoOnly.writeManifestPlist = false;
    const std::string infoFolder = writeBackup("a-info-only", infoOnly);

    DeviceInfo manifestOnly;
    manifestOnly.deviceName = "Manifest Only";
    manifestOnly.writeInfoPlist = false;
    manifestOnly.buildVersion = "18C66";
    manifestOnly.productVersion = "14.3";
    writeBackup("b-manifest-only", manifestOnly);

    DeviceInfo noLockdown;
    noLockdown.writeInfoPlist = false;
    noLockdown.manifestHasLockdown = false;
    writeBackup("c-no-lockdown", noLockdown);

    DeviceInfo encrypted;
    encrypted.deviceName = "Locked";
    encrypted.encrypted = true;
    encrypted.productType = "iPad4,1";
    writeBackup("d-encrypted", encrypted);

    test::writeFile(home.backupRoot() + "/e-one-entry/Info.plist",
                    test::readFile(infoFolder + "/Info.plist"));
    writeBackup(".hidden", DeviceInfo{});

    auto records = listSources();
    ASSERT_EQ(records.size(), 3u);

    const KTIOSDeviceNode* info = find(records, "a-info-only");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::tuple(info->strBackupType, info->strDeviceName, info->strIOSVersion,
                         info->itunesVersion, info->strDeviceSerial, info->strDeviceBackUpTime),
              std::tuple("iTunes Backup", "Info Only", "15.3.1", "12.12.4.1", "F17ZK0N9N72J",
                         "2022-01-15 13:20"));
    EXPECT_EQ(info->strDeviceSize, std::to_string(fs::file_size(infoFolder + "/Info.plist")));
    EXPECT_FALSE(info->beEncrypted);
    EXPECT_EQ(info->strDeviceType, std::nullopt);  // iPhone12,1 is not in the table
    EXPECT_EQ(std::tuple(info->deviceImage, info->deviceIndex), std::tuple("iphone", -1));

    const KTIOSDeviceNode* manifest = find(records, "b-manifest-only");
    ASSERT_NE(manifest, nullptr);
    // Lockdown's build version stands in for the iTunes version.
    EXPECT_EQ(std::tuple(manifest->strDeviceName, manifest->itunesVersion, manifest->strIOSVersion,
                         manifest->strDeviceSerial, manifest->strDeviceSize,
                         manifest->strDeviceBackUpTime),
              std::tuple("Manifest Only", "18C66", "14.3", "F17ZK0N9N72J", "", "2022-01-15 13:20"));

    const KTIOSDeviceNode* locked = find(records, "d-encrypted");
    ASSERT_NE(locked, nullptr);
    EXPECT_TRUE(locked->beEncrypted);
    EXPECT_EQ(locked->strDeviceType, "ipad");
    EXPECT_EQ(locked->deviceImage, "ipad");
}

TEST_F(DeviceDiscovery, BackupTimeFollowsTheLocalTimeZone) {
    writeBackup("tokyo", DeviceInfo{});
    test::ScopedTimeZone tokyo("Asia/Tokyo");
    auto records = listSources();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->strDeviceBackUpTime, "2022-01-15 22:20");
}

TEST_F(DeviceDiscovery, DamagedPlistsAreSkippedOrFallBack) {
    DeviceInfo device;
    device.deviceName = "From Lockdown";
    std::string folder = writeBackup("garbage-info", device);
    test::writeFile(folder + "/Info.plist", "this is not a property list");

    std::string truncated = writeBackup("truncated", DeviceInfo{});
    std::string bytes = test::readFile(truncated + "/Info.plist");
    test::writeFile(truncated + "/Info.plist", bytes.substr(0, bytes.size() / 2));
    test::writeFile(truncated + "/Manifest.plist", "bplist00\x01\x02");

    fs::create_directories(home.backupRoot() + "/empty");
    test::writeFile(home.backupRoot() + "/stray-file", "x");

    auto records = listSources();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->strDeviceName, "From Lockdown");
}

TEST_F(DeviceDiscovery, ListsICloudAccountsThatHoldABackup) {
    sample::ICloudAccountOptions full;
    ASSERT_TRUE(sample::writeICloudAccount(home.path(), "491609876543", full));
    sample::ICloudAccountOptions mediaOnly;
    mediaOnly.backupPlist = false;
    ASSERT_TRUE(sample::writeICloudAccount(home.path(), "491700000001", mediaOnly));
    sample::ICloudAccountOptions neither;
    neither.backupPlist = false;
    neither.mediaTar = false;
    ASSERT_TRUE(sample::writeICloudAccount(home.path(), "491700000002", neither));
    ASSERT_TRUE(sample::writeICloudAccount(home.path(), ".hidden", full));
    // A container without an Accounts folder must not hide the others.
    fs::create_directories(home.path() + "/Library/Mobile Documents/AAA~whatsapp~Other");

    auto records = listSources();
    ASSERT_EQ(records.size(), 2u);
    const KTIOSDeviceNode* account = find(records, "WhatsApp Account:491609876543");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->strBackupType, "iCloud Backup");
    EXPECT_EQ(account->strDeviceBackUpTime, "2022-01-15 13:20:00 +0000");
    EXPECT_EQ(account->deviceImage, "iphone");
    EXPECT_EQ(account->backUpFilePath,
              home.path() +
                  "/Library/Mobile Documents/57T9237FN3~net~whatsapp~WhatsApp/Accounts/"
                  "491609876543/backup");
    const KTIOSDeviceNode* media = find(records, "WhatsApp Account:491700000001");
    ASSERT_NE(media, nullptr);
    EXPECT_EQ(media->strDeviceBackUpTime, "(null)");
}

TEST_F(DeviceDiscovery, RefreshSaysSoWhenNothingIsFound) {
    OrlendoAppDelegate controller(ui);
    controller.actScanIOSBackupFile();
    ASSERT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(ui.alerts[0].title,
              "No iTunes backup found. Please connect your device and extract from iOS device.");
    EXPECT_EQ(ui.alerts[0].buttons, std::vector<std::string>{" Ok "});
    EXPECT_EQ(ui.backupPanes, 1);

    writeBackup("one", DeviceInfo{});
    controller.actScanIOSBackupFile();
    EXPECT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(controller.GetKTIOSDeviceController().records().size(), 1u);
}

TEST_F(DeviceDiscovery, MissingRootAtLaunchIsAnEmptyListWithoutGuide) {
    {
        // The program makes its Timeline folder at start, so only a list
        // without a controller meets a user folder with no library at all.
        SystemLog::Capture log;
        KTIOSDeviceController devices;
        devices.addiCloudDeviceNode();
        EXPECT_TRUE(devices.records().empty());
        EXPECT_TRUE(log.contains("userLibrary Filepath is not exist"));
    }
    auto records = listSources();
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(ui.alerts.empty());
    EXPECT_EQ(ui.accessGuides, 0);
}

TEST(DeviceType, FirstMatchingProductTypeWins) {
    const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> table = {
        {std::nullopt, "Iphone"},    {"", "Iphone"},
        {"iPhone1,1", "Iphone"},     {"iPhone1,2", "Iphone3G"},
        {"iPhone2,1", "Iphone3GS"},  {"iPhone3,3", "Iphone 4"},
        {"iPhone4,1", "Iphone 4S"},  {"iPhone5,2", "Iphone 5"},
        {"iPod4,1", "IpodTouch4G"},  {"IPAD2,1", "ipad"},  // case-insensitive
        {"iPad13,4", "ipad"},        {"iPhone10,3", std::nullopt},
        {"iPhone14,2", std::nullopt}};
    for (const auto& [product, type] : table) {
        EXPECT_EQ(KTIOSDeviceController::GetDevcieType(product), type) << product.value_or("-");
    }
}

TEST(BackupTimeText, ConvertsCanonicalUtcToLocalMinutes) {
    test::ScopedTimeZone newYork("America/New_York");
    SystemVersion current{10, 15, 0};
    EXPECT_EQ(convertCurrentTimeZone2("2020-02-29 03:04:05 +0000", current), "2020-02-28 22:04");
    EXPECT_EQ(convertCurrentTimeZone2("2021-07-01 12:00:00 +0000", current), "2021-07-01 08:00");
    // Old systems and unreadable texts come back as they were.
    EXPECT_EQ(convertCurrentTimeZone2("2020-02-29 03:04:05 +0000", SystemVersion{10, 6, 0}),
              "2020-02-29 03:04:05 +0000");
    EXPECT_EQ(convertCurrentTimeZone2("yesterday", current), "yesterday");
    EXPECT_EQ(canonicalUtcText(978307200), "2001-01-01 00:00:00 +0000");
}

TEST(ControllerSettings, IOSVersionChoosesTheCatalogueReader) {
    RecordingUiPort ui;
    OrlendoAppDelegate controller(ui);
    // version, whether it decides, the two-level catalogue after it
    const std::vector<std::tuple<const char*, bool, bool>> table = {
        {"9.3.5", true, false}, {"10.0", true, true}, {"", false, true},
        {"17.1.2", true, true}, {"5.1", true, false}, {"beta", true, false}};
    for (const auto& [version, decides, twoLevel] : table) {
        EXPECT_EQ(controller.IOSVersionIOS6(version), decides) << version;
        EXPECT_EQ(controller.biOS10version, twoLevel) << version;
    }
}

TEST(ControllerSettings, OperatingSystemVersionRule) {
    RecordingUiPort ui;
    NotificationCenter center;
    auto on = [](const char* version) {
        return OrlendoAppDelegate::Options{.operatingSystemVersion = version, .defaultsPath = ""};
    };
    OrlendoAppDelegate catalina(ui, center, on("Version 10.15.7 (Build 19H2)"));
    EXPECT_EQ(catalina.macOsMajor, 10);
    EXPECT_EQ(catalina.macOsVer, 15);
    OrlendoAppDelegate bigSur(ui, center, on("Version 11.2.3 (Build 20D91)"));
    EXPECT_EQ(bigSur.macOsMajor, 11);
    EXPECT_EQ(bigSur.macOsVer, 2);
    OrlendoAppDelegate shortText(ui, center, on("Version 12.1 (Build 21C52)"));  // two parts
    EXPECT_EQ(shortText.macOsMajor, 10);
    EXPECT_EQ(shortText.macOsVer, 10);
}

}  // namespace
}  // namespace vessamo
