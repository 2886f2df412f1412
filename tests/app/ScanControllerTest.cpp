#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <optional>

#include "app/OrlendoAppDelegate.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;

const std::string kEncryptedText =
    "The backup that you selected has been encrypted. Please decrypt this backup before the "
    "scanning.";

// Holds a scan in its first progress notification until the test lets go,
// so the test can act while the scan runs.
struct FirstProgressGate {
    void pass() {
        if (!passed.exchange(true)) {
            entered.set_value();
            released.wait();
        }
    }
    std::atomic<bool> passed{false};
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
};

class ScanController : public ::testing::Test {
protected:
    ScanController() {
        controller.defaults().setBool(kExampleAlertSuppress, true);
        progressObserver =
            ScopedObserver(center, "ScanProgressInfo", [this](const Notification& n) {
                {
                    const std::lock_guard lock(mutex);
                    progress.push_back(std::any_cast<int>(n.object));
                }
                if (gate) {
                    gate->pass();
                }
            });
    }

    std::string writeBackup(const std::string& name, sample::DeviceInfo device = {},
                            CatalogueLayout layout = CatalogueLayout::ManifestDb,
                            const sample::WhatsAppSampleOptions& options = {}) {
        std::string folder = home.backupRoot() + "/" + name;
        EXPECT_TRUE(sample::whatsAppBackup(layout, std::move(device), options).write(folder));
        return folder;
    }

    KTIOSDeviceNodePtr listedRecord(size_t index = 0) {
        controller.showIphoneDiskView();
        const auto& records = controller.GetKTIOSDeviceController().records();
        return index < records.size() ? records[index] : nullptr;
    }

    void scanAndWait(const KTIOSDeviceNodePtr& record, int type = 1) {
        controller.KTWhatsAppTypeButtonMouseDownHandle(record, type);
        controller.waitForScan();
    }

    test::TempHome home;
    test::RecordingUiPort ui;
    NotificationCenter center;
    OrlendoAppDelegate controller{ui, center, OrlendoAppDelegate::Options{}};
    std::mutex mutex;
    std::vector<int> progress;
    std::optional<FirstProgressGate> gate;  // armed by the tests that need it
    ScopedObserver progressObserver;
};

TEST_F(ScanController, BackupScanHandsItsResultToTheRecordAndARescanReplacesIt) {
    writeBackup("device");
    auto record = listedRecord();
    ASSERT_TRUE(record);
    scanAndWait(record);
    EXPECT_EQ(controller.stagesRun().size(), 6u);
    EXPECT_TRUE(record->bhasScanCompleted);
    ASSERT_TRUE(record->scanResult);
    const ScanResultPtr first = record->scanResult;
    EXPECT_EQ(first->folder, record->backUpFilePath);
    EXPECT_FALSE(first->WhatsAppMediaArray.empty());
    ASSERT_FALSE(progress.empty());  // the views heard the scan
    EXPECT_EQ(progress.back(), 95);
    EXPECT_EQ(controller.resultView().state().category, ResultCategory::Chats);
    EXPECT_EQ(controller.resultView().state().page, ResultPage::Results);
    EXPECT_EQ(controller.currentNode, record);
    EXPECT_EQ(controller.currentResult(), first);
    ASSERT_TRUE(controller.getWhatsAppInfoNode());
    EXPECT_EQ(controller.getWhatsAppInfoNode()->whatsAppNodeName, "Sample Owner");

    ASSERT_TRUE(controller.ScanIOSBackFile(record->backUpFilePath));
    controller.waitForScan();
    ASSERT_TRUE(record->scanResult);
    EXPECT_NE(record->scanResult, first);
    EXPECT_EQ(record->scanResult->WhatsAppChatArray.size(), first->WhatsAppChatArray.size());
    EXPECT_EQ(record->scanResult->WhatsAppMediaArray.size(), first->WhatsAppMediaArray.size());

    // Advanced mode adds the carver last; an old iOS version reads the mbdb.
    controller.ClickAdvancedRecoveryMode(true);
    sample::DeviceInfo old;
    old.productVersion = "9.3.5";
    sample::WhatsAppSampleOptions deleting;
    deleting.deleteEvery = 5;
    writeBackup("old", old, CatalogueLayout::Mbdb, deleting);
    auto oldRecord = listedRecord(1);
    ASSERT_TRUE(oldRecord);
    scanAndWait(oldRecord);
    const std::vector<std::string> stages = controller.stagesRun();
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.front(), "scanDirAnalyThread");
    EXPECT_EQ(stages.back(), "scanDeletedWhatsAppMessageThread");
    ASSERT_TRUE(oldRecord->scanResult);
    const auto& messages = oldRecord->scanResult->WhatsAppChatArray;
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const KTWhatsAppNode& message) { return message.bDeleted; }));
}

TEST_F(ScanController, StopButtonAsksThenStopsOnlyTheRunningScan) {
    writeBackup("device");
    auto record = listedRecord();
    gate.emplace();
    ui.scriptedAnswers = {AlertAnswer{0, false}, AlertAnswer{1, false}};
    controller.KTWhatsAppTypeButtonMouseDownHandle(record, 1);
    gate->entered.get_future().wait();
    EXPECT_TRUE(controller.isScanning());
    EXPECT_FALSE(controller.ScanIOSBackFile("/somewhere/else"));
    controller.stopButtonClicked();
    gate->release.set_value();
    controller.waitForScan();
    EXPECT_FALSE(controller.isScanning());

    ASSERT_EQ(ui.alerts.size(), 2u);
    EXPECT_NE(ui.alerts[0].title.find("already running"), std::string::npos);
    EXPECT_EQ(controller.stagesRun(), std::vector<std::string>{"scanManifestDBThread"});
    EXPECT_TRUE(record->bhasScanCompleted);
    EXPECT_EQ(record->backUpFilePath, home.backupRoot() + "/device");
    ASSERT_TRUE(record->scanResult);
    EXPECT_TRUE(record->scanResult->stopped);
    EXPECT_EQ(controller.resultView().state().category, ResultCategory::Chats);

    // Cancelled, the stop leaves the next scan, which starts unstopped, alone.
    gate.emplace();
    ui.scriptedAnswers = {AlertAnswer{0, false}};
    ASSERT_TRUE(controller.ScanIOSBackFile(record->backUpFilePath));
    gate->entered.get_future().wait();
    controller.stopButtonClicked();
    gate->release.set_value();
    controller.waitForScan();
    EXPECT_EQ(controller.stagesRun().size(), 6u);
    EXPECT_FALSE(record->scanResult->stopped);
}

TEST_F(ScanController, CategoryButtonsDecideWhatHappens) {
    sample::DeviceInfo locked;
    locked.encrypted = true;
    writeBackup("a-locked", locked);
    writeBackup("b-open");
    auto encrypted = listedRecord(0);
    auto open = listedRecord(1);

    controller.KTWhatsAppTypeButtonMouseDownHandle(encrypted, 1);
    controller.waitForScan();
    EXPECT_TRUE(progress.empty());
    ASSERT_EQ(ui.titles(), std::vector<std::string>{kEncryptedText});
    EXPECT_TRUE(ui.alerts[0].asSheet);
    EXPECT_FALSE(encrypted->bhasScanCompleted);

    controller.KTWhatsAppTypeButtonMouseDownHandle(open, 9);  // no such category
    controller.waitForScan();
    EXPECT_TRUE(progress.empty());

    scanAndWait(open, 1);
    const ScanResultPtr scanned = open->scanResult;
    progress.clear();
    controller.KTWhatsAppTypeButtonMouseDownHandle(open, 3);  // scanned: just show calls
    controller.waitForScan();
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(open->scanResult, scanned);
    EXPECT_EQ(controller.resultView().state().category, ResultCategory::Calls);
}

TEST_F(ScanController, ICloudSourcesFinishOnTheAttachmentsPage) {
    ASSERT_TRUE(sample::writeICloudAccount(home.path(), "491609876543", {}));
    auto record = listedRecord();
    ASSERT_TRUE(record);
    ASSERT_EQ(record->strBackupType, "iCloud Backup");
    scanAndWait(record, 1);
    ASSERT_FALSE(controller.stagesRun().empty());
    EXPECT_EQ(controller.stagesRun().front(), "compressWhatsAppMedia");
    ASSERT_TRUE(record->scanResult);
    EXPECT_EQ(record->scanResult->kind, SourceKind::ICloud);
    EXPECT_EQ(controller.resultView().state().category, ResultCategory::Attachments);
}

TEST_F(ScanController, DefaultSourceIsTheFirstBackup) {
    controller.showIphoneDiskView();
    controller.KTScanVSButtonMouseDownHandle(1);
    EXPECT_EQ(controller.resultView().state().page, ResultPage::NoBackup);

    writeBackup("device");
    controller.showIphoneDiskView();
    controller.KTScanVSButtonMouseDownHandle(1);
    controller.waitForScan();
    ASSERT_TRUE(controller.currentNode);
    EXPECT_TRUE(controller.currentNode->bhasScanCompleted);
    EXPECT_EQ(controller.stagesRun().front(), "scanManifestDBThread");
}

TEST_F(ScanController, ChosenFolderGetsARecordOfItsOwn) {
    const std::string folder = home.path() + "/elsewhere/my backup";
    sample::DeviceInfo device;
    device.deviceName = "Chosen";
    device.productVersion = "12.4.1";
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::ManifestDb, device).write(folder));
    controller.openPanelDidEnd1(folder);
    controller.waitForScan();
    ASSERT_TRUE(controller.currentNode);
    EXPECT_EQ(controller.currentNode->strDeviceName, "Chosen");
    ASSERT_TRUE(controller.currentNode->scanResult);
    EXPECT_FALSE(controller.currentNode->scanResult->WhatsAppMediaArray.empty());
    EXPECT_TRUE(controller.GetKTIOSDeviceController().records().empty());

    // Without plists the catalogue present picks the reader.
    const std::string bare = home.path() + "/bare";
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::Mbdb).write(bare));
    fs::remove(bare + "/Info.plist");
    fs::remove(bare + "/Manifest.plist");
    controller.openPanelDidEnd1(bare);
    controller.waitForScan();
    EXPECT_EQ(controller.stagesRun().front(), "scanDirAnalyThread");
    ASSERT_TRUE(controller.currentNode->scanResult);
    EXPECT_FALSE(controller.currentNode->scanResult->WhatsAppMediaArray.empty());
}

TEST_F(ScanController, DeviceScanWithoutDeviceSaysSo) {
    auto device = std::make_shared<KTIOSDeviceNode>();
    device->strBackupType = "iOS Backup";
    controller.KTWhatsAppTypeButtonMouseDownHandle(device, 1);
    EXPECT_EQ(
        ui.titles(),
        std::vector<std::string>{
            "Please connect your iOS device to this Mac. Or extract from your iTunes backup."});
    EXPECT_FALSE(controller.isScanning());
}

TEST(ResultView, ProgressMessageCountAndRecoveredLabels) {
    test::RecordingUiPort ui;
    NotificationCenter center;
    UserDefaults defaults("");
    KTResultViewController view(ui, defaults, center);
    center.post("ScanProgressInfo", 0);
    EXPECT_EQ(view.state().percentText, "1%");
    center.post("ScanProgressInfo", 65);
    EXPECT_EQ(view.state().percentText, "65%");
    center.post("ScanAnvancedProgressInfo", 0);
    EXPECT_TRUE(view.state().stopButtonVisible);
    EXPECT_EQ(view.state().messageCountText, "");
    center.post("ScanAnvancedProgressInfo", 1234);
    EXPECT_EQ(view.state().messageCountText, "The amount of WhatsApp messages:  1234");
    KTWhatsAppNode recovered;
    recovered.chatID = 3;
    recovered.messageContent = "gone";
    center.post("DelScanWhatsAppInfo", recovered);
    EXPECT_EQ(view.state().recoveredMessages, 1);
}

}  // namespace
}  // namespace vessamo
