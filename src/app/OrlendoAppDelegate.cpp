#include "app/OrlendoAppDelegate.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <utility>

#include "common/Files.h"
#include "common/SystemLog.h"
#include "common/UserPaths.h"
#include "export/OpusConversion.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

std::atomic<OrlendoAppDelegate*> theController{nullptr};

// The integer value of a text's leading digits, 0 when there are none.
int32_t leadingInteger(const std::string& text) {
    return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

constexpr const char* kEncryptedBackupText = kEncryptedBackupRefusal;

constexpr const char* kScanRunningText =
    "A scan is already running. Stop it or wait until it has finished, then start the new scan.";

constexpr const char* kExportRunningText =
    "An export is still running. Wait until it has finished, then start the scan.";

constexpr const char* kFirstLaunchKey = "Download";

// The working folder goes, never what a link there points at.
void removeMediaFolder(const fs::path& media) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(media, ec);
    if (ec || !fs::exists(status)) {
        return;
    }
    if (fs::is_symlink(status)) {
        fs::remove(media, ec);
    } else {
        fs::remove_all(media, ec);  // does not follow links inside
    }
    if (ec) {
        SystemLog::write("cannot remove " + media.string() + ": " + ec.message());
    }
}

void sayNotAvailable(UiPort& ui, const char* text) {
    AlertRequest alert;
    alert.title = text;
    ui.showAlert(alert);
}

}  // namespace

OrlendoAppDelegate::OrlendoAppDelegate(UiPort& ui, NotificationCenter& notifications,
                                       Options options)
    : ui_(ui),
      notifications_(notifications),
      defaults_(options.defaultsPath),
      links_(std::move(options.links)),
      resultView_(std::make_unique<KTResultViewController>(ui, defaults_, notifications)),
      runner_(ui, notifications, *resultView_) {
    applyVersionRule(options.operatingSystemVersion);
    timelinePath = prepareTimelinePath();
    FindWhatsAppTimelineBackup();
    observeNotifications(notifications);
    exportCommands_ = std::make_unique<ResultExportCommands>(ui_, resultView_->pages(),
                                                             [this] { return currentResult(); });
    voiceNotes_ = std::make_unique<VoiceNoteCommands>(
        ui_, VoiceNoteCommands::Hooks{[this] { DownloadToolAction(); },
                                      [this] { return getDownloadFinish(); }});
    theController = this;
}

OrlendoAppDelegate::OrlendoAppDelegate(UiPort& ui)
    : OrlendoAppDelegate(ui, NotificationCenter::defaultCenter(), Options{}) {}

OrlendoAppDelegate::~OrlendoAppDelegate() {
    OrlendoAppDelegate* self = this;
    theController.compare_exchange_strong(self, nullptr);
    observers_.clear();
    requestStop();
    encryptedPrompt_.requestStop();
    encryptedPrompt_.wait();
    runner_.wait();
    voiceNotes_.reset();
    exportCommands_.reset();
}

OrlendoAppDelegate* OrlendoAppDelegate::GetAppControllor() {
    return theController.load();
}

ScanResultPtr OrlendoAppDelegate::currentResult() const {
    if (isScanning() || !currentNode) {
        return nullptr;
    }
    return currentNode->scanResult;
}

std::shared_ptr<const KTWhatsAppIDInfo> OrlendoAppDelegate::getWhatsAppInfoNode() const {
    if (timelineAccount_) {
        return timelineAccount_;
    }
    const ScanResultPtr result = currentNode ? currentNode->scanResult : nullptr;
    if (!result || !result->account) {
        return nullptr;
    }
    return std::shared_ptr<const KTWhatsAppIDInfo>(result, &*result->account);
}

void OrlendoAppDelegate::showScannedResults() {
    if (ScanResultPtr result = currentResult()) {
        resultView_->showSource(std::move(result));
    }
}

void OrlendoAppDelegate::DownloadToolAction() {
    SystemLog::write(
        "The voice note decoder is missing and cannot be downloaded yet: install "
        "opus-tools or place a decoder at " +
        decoderToolPath());
}

std::string OrlendoAppDelegate::hostVersionText() {
#ifdef __APPLE__
    SystemVersion v = getSystemVersionMajor();
    return "Version " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.bugFix);
#else
    return {};
#endif
}

void OrlendoAppDelegate::applyVersionRule(const std::string& text) {
    std::string compact = text;
    for (auto at = compact.find("Version"); at != std::string::npos; at = compact.find("Version")) {
        compact.erase(at, 7);
    }
    compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
    std::vector<std::string> parts = split(compact, '.');
    if (parts.size() >= 3) {
        macOsMajor = leadingInteger(parts[0]);
        macOsVer = leadingInteger(parts[1]);
    }
}

bool OrlendoAppDelegate::hasProtectedFolders() const {
#ifdef __APPLE__
    return macOsVer > 13 || macOsMajor >= 11;
#else
    return false;  // no protected-folder permission exists to guide the user to
#endif
}

// --- Application shell ---------------------------------------------------

void OrlendoAppDelegate::applicationDidFinishLaunching() {
    showIphoneDiskView();
    FindWhatsAppTimelineBackup();
    buildLeftView();
}

void OrlendoAppDelegate::checkFirstLaunch() {
    if (defaults_.boolForKey(kFirstLaunchKey, false)) {
        return;
    }
    ui_.openURL(links_.productPage());
    defaults_.setBool(kFirstLaunchKey, true);
}

bool OrlendoAppDelegate::windowShouldClose() {
    AlertRequest ask;
    ask.title = "Are you sure you want to Exit ?";
    ask.buttons = {" Exit ", "Cancel"};
    if (ui_.showAlert(ask).button != 0) {
        return false;
    }
    removeMediaFolder(fs::path(UserPaths::userFolder()) / "Media");
    return true;
}

Status OrlendoAppDelegate::ResetPreferenceSetting(const std::string& folder) {
    if (folder.empty()) {
        return Status::invalid("no Timeline folder was given");
    }
    // Like the launch's default folder, the chosen one is used even when it
    // cannot be made: its list is simply empty.
    Status made = makeFolders(folder);
    timelinePath = folder;
    FindWhatsAppTimelineBackup();
    buildLeftView();
    return made;
}

void OrlendoAppDelegate::KTbuttonMouseDownHandle(HomeButton button) {
    switch (button) {
        case HomeButton::BackupList:
            actScanIOSBackupFile();
            buildLeftView();
            return;
        case HomeButton::Device:
            sayNotAvailable(ui_,
                            "Reading a connected iPhone is not available in this version yet. "
                            "Make a backup with your computer and choose it from the backup "
                            "list.");
            return;
        case HomeButton::WebWindow:
            sayNotAvailable(ui_, "The WhatsApp Web window is not available in this version yet.");
            return;
    }
}

void OrlendoAppDelegate::SelectBackUpAction() {
    FolderPanelRequest request;
    request.message = "Please select the backup from the floder to recover your data.";
    request.startFolder = UserPaths::backupRoot();
    if (std::optional<std::string> folder = ui_.chooseFolder(request)) {
        openPanelDidEnd1(*folder);
    }
}

void OrlendoAppDelegate::buildLeftView() {
    sourceList_.rebuild(iOSDeviceArray, devices_.records(), timeBackupArray);
}

void OrlendoAppDelegate::KTExpandButtonMouseDownHandle(SourceEntryId id) {
    sourceList_.toggle(id);
}

void OrlendoAppDelegate::KTLeftTipButtonMouseDownHandle(int btnType) {
    switch (btnType) {
        case 1:
            resultView_->ChangeToNoiOSBackupView();
            return;
        case 2:
            resultView_->ChangeToNoiTunesBackupView();
            return;
        case 3:
            resultView_->ChangeToNoiCloudBackupView();
            return;
        case 4:
            resultView_->ChangeToNoTimelineBackupView();
            return;
        default:
            return;
    }
}

void OrlendoAppDelegate::ClickHomePage() {
    ui_.openURL(links_.homePage());
}

void OrlendoAppDelegate::ClickProductPage() {
    ui_.openURL(links_.productPage());
}

void OrlendoAppDelegate::ClickHelp() {
    ui_.openURL(links_.supportPage());
}

void OrlendoAppDelegate::clickSupport() {
    ui_.openURL(links_.supportPage());
}

void OrlendoAppDelegate::ClickProductGuide() {
    ui_.openURL(links_.productGuide());
}

void OrlendoAppDelegate::ClickLearnMore() {
    ui_.openURL(links_.learnMore());
}

void OrlendoAppDelegate::clickILikeMore() {
    ui_.openURL(links_.otherProduct());
}

// --- Timeline backups ----------------------------------------------------

void OrlendoAppDelegate::FindWhatsAppTimelineBackup() {
    timeBackupArray = vessamo::FindWhatsAppTimelineBackup(timelinePath);
}

TimelineViewData OrlendoAppDelegate::ClickShowWhatsAppTimeline() {
    TimelineViewData view = vessamo::ClickShowWhatsAppTimeline(timelinePath, ui_);
    if (view.account.info) {
        timelineAccount_ = view.account.info;
    }
    return view;
}

bool OrlendoAppDelegate::ClickCreateWhatsAppTimeline() {
    if (isScanning()) {
        sayScanIsRunning();
        return false;
    }
    return timelineMaker_.ClickCreateWhatsAppTimeline(currentNode ? currentNode->scanResult
                                                                  : nullptr);
}

bool OrlendoAppDelegate::ClickShowContentAction(const KTTimeLineFileNode& row) {
    bIOSRecoveryMode = false;
    KTIOSDeviceNodePtr record = vessamo::ClickShowContentAction(row);
    if (!record) {
        return false;
    }
    currentNode = record;
    resultView_->ChangeToScanWhatsAppView();
    resultView_->startScanningGIF();
    return ScanTimeLineBackupFilePath(record->backUpFilePath);
}

void OrlendoAppDelegate::observeNotifications(NotificationCenter& notifications) {
    observers_.emplace_back(
        notifications, "KTWhatsAppTypeButtonMouseDown", [this](const Notification& note) {
            if (auto* click = std::any_cast<CategoryButtonClick>(&note.object)) {
                KTWhatsAppTypeButtonMouseDownHandle(click->record, click->typeNumber);
            }
        });
    observers_.emplace_back(notifications, "KTScanVSButtonMouseDown",
                            [this](const Notification& note) {
                                if (auto* type = std::any_cast<int>(&note.object)) {
                                    KTScanVSButtonMouseDownHandle(*type);
                                }
                            });
    observers_.emplace_back(notifications, "KTExpandButtonMouseDown",
                            [this](const Notification& note) {
                                if (auto* id = std::any_cast<SourceEntryId>(&note.object)) {
                                    KTExpandButtonMouseDownHandle(*id);
                                }
                            });
    observers_.emplace_back(notifications, "KTLeftTipButtonMouseDown",
                            [this](const Notification& note) {
                                if (auto* type = std::any_cast<int>(&note.object)) {
                                    KTLeftTipButtonMouseDownHandle(*type);
                                }
                            });
    observers_.emplace_back(notifications, "KTbuttonMouseDown", [this](const Notification& note) {
        if (auto* button = std::any_cast<HomeButton>(&note.object)) {
            KTbuttonMouseDownHandle(*button);
        }
    });
    observers_.emplace_back(notifications, "DeviceConnect",
                            [this](const Notification&) { bDeviceHasConnected = true; });
    observers_.emplace_back(notifications, "DeviceDisConnect",
                            [this](const Notification&) { bDeviceHasConnected = false; });
}

bool OrlendoAppDelegate::IOSVersionIOS6(const std::string& version) {
    if (version.empty()) {
        return false;
    }
    std::string first = split(version, '.').front();
    biOS10version = first == "10" || first == "11" || first == "12" || first == "13" ||
                    leadingInteger(first) >= 10;
    return true;
}

void OrlendoAppDelegate::rebuildList(bool atLaunch) {
    devices_.removeAll();
    const std::string root = UserPaths::backupRoot();
    std::vector<std::string> entries;
    std::error_code ec;
    fs::directory_iterator it(root, ec);
    if (ec && atLaunch && hasProtectedFolders()) {
        ui_.showAccessGuide();
        return;
    }
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        entries.push_back(it->path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& name : entries) {
        if (!name.empty() && name.front() != '.') {
            devices_.addDeviceNodeByPath(root + "/" + name);
        }
    }
    devices_.addiCloudDeviceNode();
}

void OrlendoAppDelegate::showIphoneDiskView() {
    rebuildList(true);
}

void OrlendoAppDelegate::actScanIOSBackupFile() {
    rebuildList(false);
    ui_.showBackupPane();
    if (devices_.records().empty()) {
        AlertRequest alert;
        alert.title =
            "No iTunes backup found. Please connect your device and extract from iOS device.";
        ui_.showAlert(alert);
    }
}

// --- Scans ---------------------------------------------------------------

bool OrlendoAppDelegate::startScan(SourceKind kind, const std::string& folder) {
    // Exports and scans take turns: the scanning page replaces the results
    // an export was started from, and both compete for the same disk.
    if (exportCommands_ && exportCommands_->isExporting()) {
        AlertRequest busy;
        busy.title = kExportRunningText;
        ui_.showAlert(busy);
        return false;
    }
    ScanOptions options;
    options.recoverDeleted = bScanDeleted;
    options.manifestDb = biOS10version;
    options.backupKeys = std::exchange(pendingKeys_, nullptr);
    if (!runner_.start(ScanRequest{kind, folder, options, currentNode})) {
        sayScanIsRunning();
        return false;
    }
    timelineAccount_.reset();  // the scan's account is the current one now
    return true;
}

void OrlendoAppDelegate::sayScanIsRunning() {
    AlertRequest busy;
    busy.title = kScanRunningText;
    ui_.showAlert(busy);
}

bool OrlendoAppDelegate::refuseWhileScanning() {
    if (!isScanning()) {
        return false;
    }
    sayScanIsRunning();
    return true;
}

// The backup table and the result view's chooser scan a listed record by
// its kind; the record becomes the current source first.
void OrlendoAppDelegate::scanListedRecord(const KTIOSDeviceNodePtr& record) {
    currentNode = record;
    IOSVersionIOS6(record->strIOSVersion);
    resultView_->ChangeToScanWhatsAppView();
    if (record->strBackupType == kBackupTypeICloud) {
        ScanICloudBackFile(record->backUpFilePath);
    } else {
        ScanIOSBackFile(record->backUpFilePath);
    }
}

bool OrlendoAppDelegate::ScanIOSBackFile(const std::string& folder) {
    return startScan(SourceKind::Backup, folder);
}

bool OrlendoAppDelegate::ScanICloudBackFile(const std::string& folder) {
    return startScan(SourceKind::ICloud, folder);
}

bool OrlendoAppDelegate::ScanTimeLineBackupFilePath(const std::string& folder) {
    return startScan(SourceKind::Timeline, folder);
}

void OrlendoAppDelegate::stopButtonClicked() {
    if (resultView_->confirmStop()) {
        requestStop();
    }
}

void OrlendoAppDelegate::openEncrypted(const KTIOSDeviceNodePtr& record,
                                       std::function<void()> scan) {
    EncryptedBackupPrompt::Steps steps;
    steps.deriving = [this] {
        resultView_->ChangeToScanWhatsAppView();
        resultView_->startScanningGIF();
    };
    steps.unlocked = [this, scan = std::move(scan)](std::shared_ptr<const BackupKeys> keys) {
        pendingKeys_ = std::move(keys);
        scan();
        pendingKeys_.reset();  // held by the scan now, if it started
    };
    StatusOr<EncryptedBackup> backup = EncryptedBackup::open(record->backUpFilePath);
    if (!backup.ok()) {
        // Marked encrypted, yet without keys to open: it cannot be read.
        SystemLog::write(backup.status().message());
        showEncryptedSheet(kEncryptedBackupText);
        return;
    }
    if (!encryptedPrompt_.start(std::move(*backup), record->strDeviceName, std::move(steps))) {
        sayScanIsRunning();
    }
}

void OrlendoAppDelegate::showEncryptedSheet(const std::string& text) {
    AlertRequest sheet;
    sheet.title = text;
    sheet.asSheet = true;
    ui_.showAlert(sheet);
}

bool OrlendoAppDelegate::enoughFreeSpaceForDevice() {
    struct statvfs root {};
    if (statvfs("/", &root) != 0) {
        return true;  // unknown: let the backup tool report a full disk itself
    }
    auto freeBytes = static_cast<int64_t>(root.f_bavail) * static_cast<int64_t>(root.f_frsize);
    return iPhoneUsedStorage < freeBytes;
}

// Starts the scan a source's kind calls for, on the scanning page.
void OrlendoAppDelegate::scanRecord(const KTIOSDeviceNodePtr& record) {
    const std::string& type = record->strBackupType;
    if (type == kBackupTypeDevice) {
        if (!enoughFreeSpaceForDevice()) {
            AlertRequest full;
            full.title =
                "Free storage of the computer is not enough, please delete some large files to "
                "free up the storage space of the mac.";
            ui_.showAlert(full);
            return;
        }
        resultView_->ChangeToScanWhatsAppView();
        StartScanTheIOSDeviceAction(record);
        return;
    }
    if (type == kBackupTypeITunes && record->beEncrypted) {
        openEncrypted(record, [this, record] {
            resultView_->ChangeToScanWhatsAppView();
            resultView_->startScanningGIF();
            ScanIOSBackFile(record->backUpFilePath);
        });
        return;
    }
    resultView_->ChangeToScanWhatsAppView();
    resultView_->startScanningGIF();
    if (type == kBackupTypeICloud) {
        ScanICloudBackFile(record->backUpFilePath);
    } else if (type == kBackupTypeTimeline || type == kBackupTypeTimelineContent) {
        ScanTimeLineBackupFilePath(record->backUpFilePath);
    } else {
        ScanIOSBackFile(record->backUpFilePath);
    }
}

void OrlendoAppDelegate::KTWhatsAppTypeButtonMouseDownHandle(const KTIOSDeviceNodePtr& record,
                                                             int typeNumber) {
    if (!record || typeNumber < 1 || typeNumber > 5) {
        return;
    }
    if (record->bhasScanCompleted) {
        currentNode = record;
        resultView_->showCategory(typeNumber);
        return;
    }
    if (refuseWhileScanning()) {
        return;
    }
    IOSVersionIOS6(record->strIOSVersion);
    currentNode = record;
    scanRecord(record);
}

void OrlendoAppDelegate::KTScanVSButtonMouseDownHandle(int typeNumber) {
    if (currentNode) {
        return;
    }
    if (bDeviceHasConnected && !iOSDeviceArray.empty()) {
        KTWhatsAppTypeButtonMouseDownHandle(iOSDeviceArray.front(), typeNumber);
        return;
    }
    const auto& records = devices_.records();
    if (records.empty()) {
        resultView_->ChangeToNoiOSBackupView();
        return;
    }
    // The first backup becomes the current source, so its results have a
    // record to go to and its catalogue is read with the right reader.
    KTWhatsAppTypeButtonMouseDownHandle(records.front(), typeNumber);
}

void OrlendoAppDelegate::ClickStartScan(int selectedRow) {
    const auto& records = devices_.records();
    if (selectedRow < 0 || static_cast<size_t>(selectedRow) >= records.size()) {
        return;
    }
    bIOSRecoveryMode = false;
    const KTIOSDeviceNodePtr& record = records[static_cast<size_t>(selectedRow)];
    if (record->beEncrypted && record->strBackupType == kBackupTypeITunes) {
        if (!refuseWhileScanning()) {
            openEncrypted(record, [this, record] { scanListedRecord(record); });
        }
        return;
    }
    if (record->beEncrypted) {
        showEncryptedSheet(kEncryptedBackupText);
        return;
    }
    if (!refuseWhileScanning()) {
        scanListedRecord(record);
    }
}

void OrlendoAppDelegate::actSelectBackUp(int chosenIndex) {
    const auto& records = devices_.records();
    if (chosenIndex < 0 || static_cast<size_t>(chosenIndex) >= records.size()) {
        return;
    }
    const KTIOSDeviceNodePtr& record = records[static_cast<size_t>(chosenIndex)];
    if (record == currentNode || refuseWhileScanning()) {
        return;
    }
    // As from the backup table: an encrypted backup cannot be read, and the
    // results shown stay rather than giving way to a scan that finds nothing.
    if (record->beEncrypted && record->strBackupType == kBackupTypeITunes) {
        openEncrypted(record, [this, record] {
            resultView_->releaseResults();
            scanListedRecord(record);
        });
        return;
    }
    if (record->beEncrypted) {
        showEncryptedSheet(kEncryptedBackupText);
        return;
    }
    resultView_->releaseResults();
    scanListedRecord(record);
}

void OrlendoAppDelegate::openPanelDidEnd1(const std::string& folder) {
    if (refuseWhileScanning()) {
        return;
    }
    bIOSRecoveryMode = false;
    KTIOSDeviceNodePtr record = devices_.recordForFolder(folder);
    if (!IOSVersionIOS6(record->strIOSVersion)) {
        // Neither plist names a version: the catalogue present decides.
        std::error_code ec;
        biOS10version = fs::exists(folder + "/Manifest.db", ec);
    }
    currentNode = record;
    const auto scan = [this, folder] {
        resultView_->ChangeToScanWhatsAppView();
        resultView_->startScanningGIF();
        ScanIOSBackFile(folder);
    };
    if (record->beEncrypted) {
        openEncrypted(record, scan);
        return;
    }
    scan();
}

bool OrlendoAppDelegate::scanFolderOfKind(SourceKind kind, const std::string& folder) {
    if (kind == SourceKind::Backup) {
        openPanelDidEnd1(folder);
        return isScanning();
    }
    if (refuseWhileScanning()) {
        return false;
    }
    bIOSRecoveryMode = false;
    auto record = std::make_shared<KTIOSDeviceNode>();
    record->backUpFilePath = folder;
    const fs::path path = fs::path(folder).lexically_normal();
    const std::string name = (path.has_filename() ? path : path.parent_path()).filename().string();
    if (kind == SourceKind::ICloud) {
        record->strBackupType = kBackupTypeICloud;
        // ".../Accounts/<account>/backup": the account names the source.
        const std::string account = fs::path(folder).lexically_normal().parent_path().filename();
        record->strDeviceName = "WhatsApp Account:" + (name == "backup" ? account : name);
    } else {
        record->strBackupType = kBackupTypeTimeline;
        record->strDeviceName = name;
    }
    currentNode = record;
    scanRecord(record);
    return isScanning();
}

void OrlendoAppDelegate::StartScanTheIOSDeviceAction(const KTIOSDeviceNodePtr& record) {
    if (!bDeviceHasConnected || !record) {
        AlertRequest alert;
        alert.title =
            "Please connect your iOS device to this Mac. Or extract from your iTunes backup.";
        ui_.showAlert(alert);
        return;
    }
    bIOSRecoveryMode = true;
    resultView_->ChangeToScanWhatsAppView();
    // Backing up a connected device needs the device layer, which this
    // build does not have: report it as a failed backup.
    SystemLog::write("device backup is not available in this build");
    resultView_->ScanThreadErrorHandle();
}

}  // namespace vessamo
