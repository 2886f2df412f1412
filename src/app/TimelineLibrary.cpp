#include "app/TimelineLibrary.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "common/PlistValue.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"
#include "common/UserPaths.h"
#include "export/SafeFileName.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr const char* kPreferencesName = "net.whatsapp.WhatsApp.plist";
constexpr const char* kPhotoName = "photo.jpg";

struct TimelineFolder {
    std::string name;
    std::string path;
};

std::vector<TimelineFolder> timelineFolders(const std::string& timelinePath) {
    std::vector<TimelineFolder> folders;
    std::error_code ec;
    for (fs::directory_iterator it(timelinePath, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.empty() || name.front() == '.' || !it->is_directory(typeError)) {
            continue;
        }
        folders.push_back({std::move(name), it->path().string()});
    }
    std::sort(folders.begin(), folders.end(),
              [](const TimelineFolder& a, const TimelineFolder& b) { return a.name < b.name; });
    return folders;
}

// What the view can show as a picture: JPEG or PNG by their signatures.
bool isLoadableImage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 8> head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    const auto got = static_cast<size_t>(in.gcount());
    constexpr std::array<unsigned char, 8> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const bool jpeg = got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    return jpeg || (got == png.size() && head == png);
}

// "%@" of a missing value reads "(null)", as the labels always did.
std::string formatted(const char* prefix, const std::optional<std::string>& value) {
    return std::string(prefix) + value.value_or("(null)");
}

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writePreferences(const std::string& parent, const TimelineAccountTexts& account) {
    PlistValue::Dictionary prefs;
    prefs["FullUserName"] = PlistValue::string(account.name);
    prefs["CurrentStatusText"] = PlistValue::string(account.status);
    return PlistValue::dictionary(std::move(prefs))
        .writeBinaryFile(parent + "/" + kPreferencesName);
}

// ---------------------------------------------------------------------------
// Copying one file

enum class CopyOutcome { Copied, AlreadyThere, SourceGone, Failed };

// Copies without replacing anything; creating the copy exclusively also
// keeps a link at the destination from sending it elsewhere. A source that
// is gone or is no regular file is the source's matter and skipped; a
// destination that cannot be written is a failure, and what was written of
// it is removed.
CopyOutcome copyFile(const std::string& from, const std::string& to, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) {
        return CopyOutcome::SourceGone;
    }
    if (fs::copy_file(from, to, fs::copy_options::none, ec)) {
        return CopyOutcome::Copied;
    }
    if (ec == std::errc::file_exists) {
        return CopyOutcome::AlreadyThere;
    }
    std::error_code ignored;
    fs::remove(to, ignored);
    if (!fs::is_regular_file(from, ignored)) {
        return CopyOutcome::SourceGone;  // vanished while being copied
    }
    error = "cannot copy " + from + " to " + to + ": " + ec.message();
    return CopyOutcome::Failed;
}

// Gathers the outcome of the copies of one backup; the first failure ends it.
class FlatCopy {
public:
    explicit FlatCopy(TimelineCopyResult& result) : result_(result) {}

    bool copy(const std::string& from, const std::string& to) {
        std::string error;
        switch (copyFile(from, to, error)) {
            case CopyOutcome::Copied:
                ++result_.filesCopied;
                return true;
            case CopyOutcome::SourceGone:
                SystemLog::write("Timeline copy skips a file that is gone: " + from);
                return true;
            case CopyOutcome::AlreadyThere:
                return true;
            case CopyOutcome::Failed:
                result_.failures.push_back(error);
                return false;
        }
        return false;
    }

private:
    TimelineCopyResult& result_;
};

// The backup a scan read: the folder of its first file, or, when that file
// lies in a two-level backup's "<first two digits of its key>" folder, the
// folder above.
std::string scannedBackupFolder(const std::string& firstFile) {
    const fs::path file(firstFile);
    const fs::path folder = file.parent_path();
    const std::string folderName = folder.filename().string();
    const std::string fileName = file.filename().string();
    if (folderName.size() == 2 && fileName.rfind(folderName, 0) == 0) {
        return folder.parent_path().string();
    }
    return folder.string();
}

std::optional<std::string> addressBookOf(const std::vector<KTTreeDirNode>& media) {
    if (media.empty()) {
        return std::nullopt;
    }
    const std::string backup = scannedBackupFolder(media.front().fileKey);
    for (const std::string& path :
         {backup + "/31/" + kAddressBookKey, backup + "/" + std::string(kAddressBookKey)}) {
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) {
            return path;
        }
    }
    return std::nullopt;
}

AlertRequest okAlert(std::string title, std::string detail) {
    AlertRequest alert;
    alert.title = std::move(title);
    alert.detail = std::move(detail);
    return alert;
}

AlertRequest alertFor(const TimelineCopyResult& result) {
    return result.succeeded() ? okAlert(kTimelineCreated, "")
                              : okAlert(kTimelineNotCreated, result.failures.front());
}

}  // namespace

std::string prepareTimelinePath() {
    const std::string path = UserPaths::timelineFolder();
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        SystemLog::write("Cannot create the Timeline folder " + path + ": " + ec.message());
    }
    return path;
}

std::vector<KTIOSDeviceNodePtr> FindWhatsAppTimelineBackup(const std::string& timelinePath) {
    std::vector<KTIOSDeviceNodePtr> records;
    for (TimelineFolder& folder : timelineFolders(timelinePath)) {
        auto record = std::make_shared<KTIOSDeviceNode>();
        record->strDeviceName = std::move(folder.name);
        record->backUpFilePath = std::move(folder.path);
        record->strBackupType = kBackupTypeTimeline;
        records.push_back(std::move(record));
    }
    return records;
}

TimelineAccount getTimelineAccount(const std::string& folder) {
    TimelineAccount account;
    account.info = std::make_shared<KTWhatsAppIDInfo>();
    const std::string photo = folder + "/" + kPhotoName;
    if (isLoadableImage(photo)) {
        account.info->whatsAppContactPath = photo;
    }
    std::optional<PlistValue> prefs = PlistValue::fromFile(folder + "/" + kPreferencesName);
    if (prefs && prefs->asDictionary() != nullptr) {
        const std::optional<std::string> name = prefs->stringFor("FullUserName");
        const std::optional<std::string> status = prefs->stringFor("CurrentStatusText");
        account.info->whatsAppNodeName = name.value_or("");
        account.info->whatsAppCurrentStatus = status.value_or("");
        account.nameLabel = formatted("Name: ", name);
        account.stateLabel = formatted("State: ", status);
    }
    return account;
}

TimelineViewData ClickShowWhatsAppTimeline(const std::string& timelinePath, UiPort& ui) {
    TimelineViewData view;
    for (TimelineFolder& folder : timelineFolders(timelinePath)) {
        auto row = std::make_shared<KTTimeLineFileNode>();
        row->nodeName = std::move(folder.name);
        row->nodePath = std::move(folder.path);
        view.rows.push_back(std::move(row));
    }
    if (view.rows.empty()) {
        ui.showAlert(okAlert(kTimelineNotFound, kCreateTimelineHint));
        return view;
    }
    view.fullTimelinPath = *view.rows.front()->nodePath;
    view.account = getTimelineAccount(view.fullTimelinPath);
    return view;
}

KTIOSDeviceNodePtr ClickShowContentAction(const KTTimeLineFileNode& row) {
    auto record = std::make_shared<KTIOSDeviceNode>();
    record->strDeviceName = row.nodeName.value_or("");
    record->backUpFilePath = row.nodePath.value_or("");
    record->strBackupType = kBackupTypeTimelineContent;
    return record;
}

std::string timelineFolderName(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    std::array<char, 32> date{};
    std::array<char, 32> time{};
    std::strftime(date.data(), date.size(), "%Y-%m-%d", &local);
    std::strftime(time.data(), time.size(), "%H.%M.%S", &local);
    return std::string(date.data()) + " - " + time.data();
}

std::optional<std::string> createTimelineFolder(const std::string& parent,
                                                const std::string& name) {
    std::error_code ec;
    fs::create_directories(parent, ec);
    constexpr int kMaxTries = 1000;
    for (int n = 1; n <= kMaxTries; ++n) {
        const std::string path =
            parent + "/" + name + (n == 1 ? std::string() : " (" + std::to_string(n) + ")");
        // Creating is the test: of two makers in one second only one gets a name.
        if (fs::create_directory(path, ec)) {
            return path;
        }
        if (ec) {
            SystemLog::write("Cannot create " + path + ": " + ec.message());
            return std::nullopt;
        }
    }
    return std::nullopt;
}

TimelineCopyResult NewTimeLineCopyAllWhatsAppDataThreader(const std::vector<KTTreeDirNode>& media,
                                                          const std::string& folder,
                                                          const std::string& parent) {
    TimelineCopyResult result;
    result.folder = folder;
    FlatCopy copy(result);
    bool ok = true;
    for (const KTTreeDirNode& entry : media) {
        const std::string name = safeFileName(lastComponent(entry.filePath));
        ok = copy.copy(entry.fileKey, folder + "/" + name);
        if (ok && asciiLower(name) == kPhotoName) {
            ok = copy.copy(entry.fileKey, parent + "/" + kPhotoName);
        }
        if (!ok) {
            break;
        }
    }
    if (ok) {
        if (std::optional<std::string> addressBook = addressBookOf(media)) {
            ok = copy.copy(*addressBook, folder + "/" + kAddressBookKey);
        }
    }
    if (!ok) {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return result;
}

namespace {

// The part of making a backup that runs on the main thread: the check of the
// scan result, the dated folder and the account's preferences beside it.
// The folder, or nullopt once the person has been told why there is none
// (with the failure in *failed when there was a result to copy).
std::optional<std::string> beginTimeline(const std::vector<KTTreeDirNode>& media,
                                         const TimelineAccountTexts& account, std::time_t when,
                                         UiPort& ui, std::optional<TimelineCopyResult>& failed) {
    if (media.empty()) {
        ui.showAlert(okAlert(kNoScanResult, kCreateTimelineHint));
        return std::nullopt;
    }
    // Backups made from scans always go to the default folder, whatever
    // timelinePath the preferences name.
    const std::string parent = UserPaths::timelineFolder();
    std::optional<std::string> folder = createTimelineFolder(parent, timelineFolderName(when));
    if (folder && !writePreferences(parent, account)) {
        std::error_code ec;
        fs::remove(*folder, ec);
        folder.reset();
    }
    if (!folder) {
        failed = TimelineCopyResult{};
        failed->failures.push_back("cannot create a Timeline folder in " + parent);
        ui.showAlert(alertFor(*failed));
    }
    return folder;
}

}  // namespace

std::optional<TimelineCopyResult> NewWhatsAppTimeLineAction(const std::vector<KTTreeDirNode>& media,
                                                            const TimelineAccountTexts& account,
                                                            UiPort& ui, std::time_t when) {
    std::optional<TimelineCopyResult> result;
    if (std::optional<std::string> folder = beginTimeline(media, account, when, ui, result)) {
        result =
            NewTimeLineCopyAllWhatsAppDataThreader(media, *folder, UserPaths::timelineFolder());
        ui.showAlert(alertFor(*result));
    }
    return result;
}

bool TimelineMaker::ClickCreateWhatsAppTimeline(std::vector<KTTreeDirNode> media,
                                                const TimelineAccountTexts& account,
                                                std::time_t when) {
    {
        std::lock_guard lock(mutex_);
        if (making_) {
            return false;
        }
        making_ = true;
    }
    if (copyThread_.joinable()) {
        copyThread_.join();
    }
    std::optional<TimelineCopyResult> failed;
    std::optional<std::string> folder = beginTimeline(media, account, when, ui_, failed);
    std::lock_guard lock(mutex_);
    if (!folder) {
        if (failed) {
            lastResult_ = std::move(failed);
        }
        making_ = false;
        return false;
    }
    fullWhatsAppLocation_ = *folder;
    copyThread_ = std::thread(
        [this, media = std::move(media), folder = *folder, parent = UserPaths::timelineFolder()] {
            finish(NewTimeLineCopyAllWhatsAppDataThreader(media, folder, parent));
        });
    return true;
}

void TimelineMaker::finish(TimelineCopyResult result) {
    const AlertRequest alert = alertFor(result);
    ui_.runOnMainThreadAndWait([this, &alert] { ui_.showAlert(alert); });
    std::lock_guard lock(mutex_);
    lastResult_ = std::move(result);
    making_ = false;
}

void TimelineMaker::wait() {
    if (copyThread_.joinable() && copyThread_.get_id() != std::this_thread::get_id()) {
        copyThread_.join();
    }
}

std::optional<TimelineCopyResult> TimelineMaker::lastResult() const {
    std::lock_guard lock(mutex_);
    return lastResult_;
}

std::string TimelineMaker::fullWhatsAppLocation() const {
    std::lock_guard lock(mutex_);
    return fullWhatsAppLocation_;
}

}  // namespace vessamo
