#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "app/OrlendoAppDelegate.h"
#include "common/SystemLog.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;

const std::string kEncryptedText =
    "The backup that you selected has been encrypted. Please decrypt this backup before the "
    "scanning.";
const std::string kTipTitle = "Scan with advanced recovery mode";

class ScanController : public ::testing::Test {
protected:
    ScanController() {
        controller.stages().onStageStart = [this](std::string_view name) {
            std::lock_guard lock(stagesMutex);
            stagesRun.emplace_back(name);
        };
        progressObserver =
            ScopedObserver(center, "ScanProgressInfo", [this](const Notification& n) {
                std::lock_guard lock(stagesMutex);
                progress.push_back(std::any_cast<int>(n.object));
            });
    }

    std::string writeBackup(const std::string& name, sample::DeviceInfo device = {},
                            CatalogueLayout layout = CatalogueLayout::ManifestDb) {
        std::string folder = home.backupRoot() + "/" + name;
        EXPECT_TRUE(sample::whatsAppBackup(layout, std::move(device)).write(folder));
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
    std::mutex stagesMutex;
    std::vector<std::string> stagesRun;
    std::vector<int> progress;
    ScopedObserver progressObserver;
};

TEST_F(ScanController, BackupPipelineRunsItsStagesInOrder) {
    writeBackup("device");
    auto record = listedRecord();
    ASSERT_TRUE(record);
    scanAndWait(record);
    EXPECT_EQ(stagesRun,
              (std::vector<std::string>{"scanManifestDBThread", "scanContactThread",
                                        "getWhatsAppFavateContact", "getWhatsAppIDInfo",
                                        "scanWhatsAppMessageThread", "scanWhatsAppCalllogThread"}));
    EXPECT_TRUE(record->bhasScanCompleted);
    EXPECT_FALSE(record->WhatsAppMediaArray.empty());
    // The index counts up to 20, then each stage posts its own mark.
    ASSERT_GE(progress.size(), 4u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(std::vector<int>(progress.end() - 4, progress.end()),
              (std::vector<int>{65, 70, 78, 95}));
    EXPECT_LE(progress[progress.size() - 5], 20);
    EXPECT_EQ(controller.resultView().state().category, ResultCategory::Chats);
    EXPECT_EQ(controller.resultView().state().page, ResultPage::Results);
    EXPECT_EQ(controller.currentNode, record);

    // Advanced mode adds the carver last; an old iOS version reads the mbdb.
    stagesRun.clear();
    controller.ClickAdvancedRecoveryMode(true);
    sample::DeviceInfo old;
    old.productVersion = "9.3.5";
    writeBackup("old", old, CatalogueLayout::Mbdb);
    auto oldRecord = listedRecord(1);
    ASSERT_TRUE(oldRecord);
    scanAndWait(oldRecord);
    ASSERT_FALSE(stagesRun.empty());
    EXPECT_EQ(stagesRun.front(), "scanDirAnalyThread");
    EXPECT_EQ(stagesRun.back(), "scanDeletedWhatsAppMessageThread");
    EXPECT_FALSE(oldRecord->WhatsAppMediaArray.empty());
}

TEST_F(ScanController, StopDuringIndexingEndsCompletedOnTheChatPage) {
    writeBackup("device");
    auto record = listedRecord();
    ScopedObserver stopper(center, "ScanProgressInfo",
                           [this](const Notification&) { controller.requestStop(); });
    scanAndWait(record);
    EXPECT_EQ(stagesRun, std::vector<std::string>{"scanManifestDBThread"});
    EXPECT_TRUE(record->bhasScanCompleted);
    EXPECT_LE(record->WhatsAppMediaArray.size(), 1u);
    EXPECT_EQ(controller.resultView().state().category, ResultCategory::Chats);

    // The next scan starts afresh instead of stopping at once.
    stopper.reset();
    stagesRun.clear();
    controller.ScanIOSBackFile(record->backUpFilePath);
    controller.waitForScan();
    EXPECT_EQ(stagesRun.size(), 6u);
}

TEST_F(ScanController, SecondStartWhileScanningIsRefused) {
    writeBackup("device");
    auto record = listedRecord();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> entered;
    controller.stages().scanContactThread = [&](ScanState&, const std::string&) {
        entered.set_value();
        released.wait();
    };
    controller.KTWhatsAppTypeButtonMouseDownHandle(record, 1);
    entered.get_future().wait();
    EXPECT_TRUE(controller.isScanning());
    EXPECT_FALSE(controller.ScanIOSBackFile("/somewhere/else"));
    auto titles = ui.titles();
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_NE(titles[0].find("already running"), std::string::npos);
    release.set_value();
    controller.waitForScan();
    EXPECT_FALSE(controller.isScanning());
    EXPECT_TRUE(record->bhasScanCompleted);
    EXPECT_EQ(record->backUpFilePath, home.backupRoot() + "/device");
}

TEST_F(ScanController, TipSheetUntilSuppressed) {
    writeBackup("device");
    auto record = listedRecord();
    ui.scriptedAnswers.push_back(AlertAnswer{0, true});
    scanAndWait(record);
    ASSERT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(ui.alerts[0].title, kTipTitle);
    EXPECT_EQ(ui.alerts[0].detail,
              "If you don't find deleted chat messages, please select another mode from product "
              "menu -> Preferences... -> Check Scan with advanced recovery mode, and scan again.");
    EXPECT_EQ(ui.alerts[0].buttons, std::vector<std::string>{" Ok "});
    EXPECT_TRUE(ui.alerts[0].suppressionLabel.has_value());

    // The choice lasts: a controller started later reads it back.
    test::RecordingUiPort laterUi;
    NotificationCenter laterCenter;
    OrlendoAppDelegate later(laterUi, laterCenter, OrlendoAppDelegate::Options{});
    later.showIphoneDiskView();
    later.KTWhatsAppTypeButtonMouseDownHandle(later.GetKTIOSDeviceController().records()[0], 1);
    later.waitForScan();
    EXPECT_TRUE(laterUi.alerts.empty());
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
    EXPECT_TRUE(stagesRun.empty());
    ASSERT_EQ(ui.titles(), std::vector<std::string>{kEncryptedText});
    EXPECT_FALSE(encrypted->bhasScanCompleted);

    controller.KTWhatsAppTypeButtonMouseDownHandle(open, 9);  // no such category
    controller.waitForScan();
    EXPECT_TRUE(stagesRun.empty());

    scanAndWait(open, 1);
    stagesRun.clear();
    progress.clear();
    controller.KTWhatsAppTypeButtonMouseDownHandle(open, 3);  // scanned: just show calls
    controller.waitForScan();
    EXPECT_TRUE(stagesRun.empty());
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(controller.resultView().state().category, ResultCategory::Calls);
}

TEST_F(ScanController, ICloudSourcesFinishOnTheAttachmentsPage) {
    ASSERT_TRUE(sample::writeICloudAccount(home.path(), "491609876543", {}));
    auto record = listedRecord();
    ASSERT_TRUE(record);
    ASSERT_EQ(record->strBackupType, "iCloud Backup");
    scanAndWait(record, 1);
    ASSERT_FALSE(stagesRun.empty());
    EXPECT_EQ(stagesRun.front(), "compressWhatsAppMedia");
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
    EXPECT_EQ(stagesRun.front(), "scanManifestDBThread");
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
    EXPECT_TRUE(controller.currentNode->bhasScanCompleted);
    EXPECT_FALSE(controller.currentNode->WhatsAppMediaArray.empty());
    EXPECT_TRUE(controller.GetKTIOSDeviceController().records().empty());

    // Without plists the catalogue present picks the reader.
    const std::string bare = home.path() + "/bare";
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::Mbdb).write(bare));
    fs::remove(bare + "/Info.plist");
    fs::remove(bare + "/Manifest.plist");
    stagesRun.clear();
    controller.openPanelDidEnd1(bare);
    controller.waitForScan();
    EXPECT_EQ(stagesRun.front(), "scanDirAnalyThread");
    EXPECT_FALSE(controller.currentNode->WhatsAppMediaArray.empty());
}

TEST_F(ScanController, StopButtonAsksFirst) {
    ui.scriptedAnswers = {AlertAnswer{0, false}, AlertAnswer{1, false}};
    controller.stopButtonClicked();
    EXPECT_FALSE(controller.scanState().stopRequested());
    controller.stopButtonClicked();
    EXPECT_TRUE(controller.scanState().stopRequested());
    ASSERT_EQ(ui.alerts.size(), 2u);
    EXPECT_EQ(ui.alerts[0].title, "Are you sure you want to Stop the scanning ?");
    EXPECT_EQ(ui.alerts[0].buttons, (std::vector<std::string>{" Cancel ", " Stop "}));
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

TEST(ResultView, ProgressAndMessageCountLabels) {
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

    auto recovered = std::make_shared<KTWhatsAppNode>();
    recovered->chatID = 3;
    recovered->messageContent = "gone";
    center.post("DelScanWhatsAppInfo", recovered);
    ASSERT_EQ(view.deletedMessages().conversations().size(), 1u);
    EXPECT_EQ(view.deletedMessages().conversations()[0]->appNodeArray[0], recovered);
}

}  // namespace
}  // namespace vessamo
