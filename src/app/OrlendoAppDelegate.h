#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/EncryptedBackupPrompt.h"
#include "app/ResultExportCommands.h"
#include "app/ScanRunner.h"
#include "app/SourceList.h"
#include "app/TimelineLibrary.h"
#include "app/VoiceNoteCommands.h"
#include "app/WebLinks.h"
#include "backup/KTIOSDeviceController.h"
#include "common/NotificationCenter.h"
#include "common/UiPort.h"
#include "common/UserDefaults.h"
#include "results/KTResultViewController.h"

namespace vessamo {

// The three large buttons of the home screen, as "KTbuttonMouseDown" carries them.
enum class HomeButton { BackupList = 1, Device = 2, WebWindow = 3 };

// What a category button carries when it is clicked.
struct CategoryButtonClick {
    KTIOSDeviceNodePtr record;
    int typeNumber = 0;
};

// The application's controller: the source list and the scan entry points,
// a thin layer over Scanner that decides what a click starts and says so.
// It owns the result view's model and reaches the person only through its
// UiPort. One scan runs at a time, on a worker of its own.
class OrlendoAppDelegate {
public:
    struct Options {
        std::string operatingSystemVersion = hostVersionText();
        std::string defaultsPath = UserDefaults::defaultPath();
        WebLinks links = WebLinks::defaults();
    };

    OrlendoAppDelegate(UiPort& ui, NotificationCenter& notifications, Options options);
    explicit OrlendoAppDelegate(UiPort& ui);
    ~OrlendoAppDelegate();
    OrlendoAppDelegate(const OrlendoAppDelegate&) = delete;
    OrlendoAppDelegate& operator=(const OrlendoAppDelegate&) = delete;

    // The controller every part of the program reaches; null before one exists.
    [[nodiscard]] static OrlendoAppDelegate* GetAppControllor();

    // --- Application shell ---------------------------------------------
    // The launch steps once the window exists: the backup list, the
    // Timeline list and the source list built from them.
    void applicationDidFinishLaunching();
    // First launch only (the flag "Download" in the defaults): opens the
    // product page in the browser and remembers that it did.
    void checkFirstLaunch();
    // Asks "Are you sure you want to Exit ?"; on " Exit " the user folder's
    // "Media" goes and the answer is true. A running scan is stopped first
    // by the caller, who waits for it.
    [[nodiscard]] bool windowShouldClose();
    // The preferences' Timeline folder: made with every folder above it when
    // missing; the Timeline list and the source list follow it.
    Status ResetPreferenceSetting(const std::string& folder);
    // Home screen buttons: the backup list rebuilds and shows it; the device
    // and web window say they are not available yet.
    void KTbuttonMouseDownHandle(HomeButton button);
    // The menu's "select a backup folder": asks for one and scans it.
    void SelectBackUpAction();

    [[nodiscard]] SourceList& sourceList() { return sourceList_; }
    // Rebuilds the source list from the devices, backups and Timelines.
    void buildLeftView();
    void KTExpandButtonMouseDownHandle(SourceEntryId id);
    // A placeholder entry's button: the empty page of its section; other
    // numbers than 1 to 4 do nothing.
    void KTLeftTipButtonMouseDownHandle(int btnType);

    // Web links of the menus and the drawer.
    void ClickHomePage();
    void ClickProductPage();
    void ClickHelp();
    void clickSupport();
    void ClickProductGuide();
    void ClickLearnMore();
    void clickILikeMore();
    [[nodiscard]] const WebLinks& webLinks() const { return links_; }

    // --- Sources -------------------------------------------------------
    void showIphoneDiskView();
    void actScanIOSBackupFile();
    [[nodiscard]] KTIOSDeviceController& GetKTIOSDeviceController() { return devices_; }
    // Sets the catalogue choice from an iOS version; false for an empty text.
    bool IOSVersionIOS6(const std::string& version);

    // --- Starting scans ------------------------------------------------
    void KTWhatsAppTypeButtonMouseDownHandle(const KTIOSDeviceNodePtr& record, int typeNumber);
    void KTScanVSButtonMouseDownHandle(int typeNumber);
    void ClickStartScan(int selectedRow);
    void actSelectBackUp(int chosenIndex);
    // A folder the person chose: scanned under a record made from it.
    void openPanelDidEnd1(const std::string& folder);
    // A folder of a known kind, as the command line names one: an iCloud
    // Drive account's backup folder or a Timeline backup get a record of
    // their kind; a backup folder goes the folder chooser's way.
    bool scanFolderOfKind(SourceKind kind, const std::string& folder);
    void StartScanTheIOSDeviceAction(const KTIOSDeviceNodePtr& record);

    // The three scan starts. Each is refused while another scan runs.
    bool ScanIOSBackFile(const std::string& folder);
    bool ScanICloudBackFile(const std::string& folder);
    bool ScanTimeLineBackupFilePath(const std::string& folder);

    // --- Timeline backups ----------------------------------------------
    // Rebuilds timeBackupArray from timelinePath.
    void FindWhatsAppTimelineBackup();
    // The Timeline view without a device: its rows and the first backup's
    // account, which becomes the current account record.
    [[nodiscard]] TimelineViewData ClickShowWhatsAppTimeline();
    // A Timeline backup of the current source's backup scan, made on a
    // worker; false when there is nothing to make it of (the person is told).
    bool ClickCreateWhatsAppTimeline();
    [[nodiscard]] TimelineMaker& timelineMaker() { return timelineMaker_; }
    // "Show Content" of a Timeline row: scans that backup as the source.
    bool ClickShowContentAction(const KTTimeLineFileNode& row);

    // --- While scanning ------------------------------------------------
    // The stop button: asks first, then stops the running scan.
    void stopButtonClicked();
    void requestStop() { runner_.requestStop(); }
    // An encrypted backup whose keys are being derived counts as scanning.
    [[nodiscard]] bool isScanning() const {
        return runner_.isScanning() || encryptedPrompt_.running();
    }
    // Returns once the current scan (if any) has finished.
    void waitForScan() {
        encryptedPrompt_.wait();
        runner_.wait();
    }
    // The stages the last scan started, by name, in order.
    [[nodiscard]] std::vector<std::string> stagesRun() const { return runner_.stagesRun(); }

    void ClickAdvancedRecoveryMode(bool on) { bScanDeleted = on; }
    [[nodiscard]] bool getScanBDeleted() const { return bScanDeleted; }

    // --- What the last scan found, for views and exports ---------------
    // The account the result view shows: the current source's, or the first
    // Timeline backup's once the Timeline view has been opened since.
    [[nodiscard]] std::shared_ptr<const KTWhatsAppIDInfo> getWhatsAppInfoNode() const;
    // The current source's result; null while there is none or a scan runs.
    [[nodiscard]] ScanResultPtr currentResult() const;

    // Fills the result pages from the current source; the view calls it
    // when it shows the results.
    void showScannedResults();

    [[nodiscard]] ResultExportCommands& exportCommands() { return *exportCommands_; }
    [[nodiscard]] VoiceNoteCommands& voiceNotes() { return *voiceNotes_; }

    // --- The decoder tool ------------------------------------------------
    // Fetching the tool belongs to the online services; until they exist
    // the request is logged and the download never finishes.
    void DownloadToolAction();
    [[nodiscard]] bool getDownloadFinish() const { return downloadFinished_.load(); }

    // --- State ---------------------------------------------------------
    [[nodiscard]] KTResultViewController& resultView() { return *resultView_; }
    [[nodiscard]] UserDefaults& defaults() { return defaults_; }
    // The centre the controller observes: views post their clicks to it.
    [[nodiscard]] NotificationCenter& notifications() { return notifications_; }

    KTIOSDeviceNodePtr currentNode;
    bool bIOSRecoveryMode = false;
    bool bScanDeleted = false;
    bool biOS10version = false;
    bool bDeviceHasConnected = false;
    int64_t iPhoneUsedStorage = 0;
    int32_t macOsMajor = 10;
    int32_t macOsVer = 10;
    std::vector<KTIOSDeviceNodePtr> iOSDeviceArray;  // connected devices
    std::string timelinePath;                        // where Timeline backups live
    std::vector<KTIOSDeviceNodePtr> timeBackupArray;

private:
    [[nodiscard]] static std::string hostVersionText();
    void applyVersionRule(const std::string& text);
    [[nodiscard]] bool hasProtectedFolders() const;
    void rebuildList(bool atLaunch);
    void observeNotifications(NotificationCenter& notifications);

    bool startScan(SourceKind kind, const std::string& folder);
    void sayScanIsRunning();
    bool refuseWhileScanning();
    void scanListedRecord(const KTIOSDeviceNodePtr& record);
    void scanRecord(const KTIOSDeviceNodePtr& record);
    void showEncryptedSheet(const std::string& text);
    // An encrypted backup: its password is asked for and its keys derived
    // off the interface thread; then scan runs with the keys in place.
    void openEncrypted(const KTIOSDeviceNodePtr& record, std::function<void()> scan);
    [[nodiscard]] bool enoughFreeSpaceForDevice();

    UiPort& ui_;
    NotificationCenter& notifications_;
    UserDefaults defaults_;
    WebLinks links_;
    SourceList sourceList_;
    KTIOSDeviceController devices_;
    std::unique_ptr<KTResultViewController> resultView_;
    ScanRunner runner_;
    EncryptedBackupPrompt encryptedPrompt_{ui_, notifications_};
    std::shared_ptr<const BackupKeys> pendingKeys_;  // for the next backup scan only
    TimelineMaker timelineMaker_{ui_};
    std::atomic<bool> downloadFinished_{false};
    std::shared_ptr<const KTWhatsAppIDInfo> timelineAccount_;
    // Their workers end, in the destructor, before the state they read goes.
    std::unique_ptr<ResultExportCommands> exportCommands_;
    std::unique_ptr<VoiceNoteCommands> voiceNotes_;
    std::vector<ScopedObserver> observers_;  // last: removed first
};

}  // namespace vessamo
