#include "app/TimelineLibrary.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

#include "backup/SHAH.h"
#include "common/ConfinedFiles.h"
#include "common/Files.h"
#include "common/PlistValue.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"
#include "common/UserPaths.h"
#include "whatsapp/TimelineReaders.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr const char* kAddressBookImagesKey = "cd6702cea29fe89cf280a76794405adb17f9a0ee";
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
// A picture of the Timeline folder itself, read inside it: a link planted
// at its name never leads out.
bool isLoadableImage(const PathWithin& picture) {
    StatusOr<UniqueFd> file = openSourceFile(picture);
    if (!file.ok()) {
        return false;
    }
    std::array<unsigned char, 8> head{};
    const ssize_t read = ::read(file.value().get(), head.data(), head.size());
    const auto got = static_cast<size_t>(read > 0 ? read : 0);
    constexpr std::array<unsigned char, 8> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const bool jpeg = got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    return jpeg || (got == png.size() && head == png);
}

// "%@" of a missing value reads "(null)", as the labels always did.
std::string formatted(const char* prefix, const std::optional<std::string>& value) {
    return std::string(prefix) + value.value_or("(null)");
}

// The account's name and status as its labels show them; "" without one.
bool writePreferences(const std::string& parent, const ScanResult& result) {
    const KTWhatsAppIDInfo account = result.account.value_or(KTWhatsAppIDInfo{});
    PlistValue::Dictionary prefs;
    prefs["FullUserName"] = PlistValue::string(account.whatsAppNodeName);
    prefs["CurrentStatusText"] = PlistValue::string(account.whatsAppCurrentStatus);
    return PlistValue::dictionary(std::move(prefs))
        .writeBinaryFile(parent + "/" + kPreferencesName);
}

// ---------------------------------------------------------------------------
// Copying one file

enum class CopyOutcome { Copied, AlreadyThere, SourceGone, Failed };

// Copies without replacing anything, streamed a buffer at a time. The
// source is read inside its backup without following links; the copy is
// made under a new name and linked into place, so nothing already at the
// destination (a link, a hard link to another file) is followed or
// rewritten. A source that is gone or is no regular file inside its backup
// is the source's matter and skipped; a destination that cannot be written
// is a failure, and nothing is left of it.
CopyOutcome copyFile(const PathWithin& from, const std::string& to, std::span<char> buffer,
                     std::string& error) {
    const StatusOr<UniqueFd> in = openSourceFile(from);
    struct stat info {};
    if (!in.ok() || ::fstat(in->get(), &info) != 0) {
        return CopyOutcome::SourceGone;
    }
    AtomicFileWriter out(to, WriteMode::keepExisting, Flush::none);
    out.appendFrom(in->get(), static_cast<uint64_t>(info.st_size), buffer);
    const Status written = out.commit();
    if (written.ok()) {
        return CopyOutcome::Copied;
    }
    if (written.is(StatusCode::alreadyExists)) {
        return CopyOutcome::AlreadyThere;
    }
    error = "cannot copy " + from.path + " to " + to + ": " + written.message();
    return CopyOutcome::Failed;
}

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

// Gathers the outcome of the copies of one backup; the first failure ends it.
class KeptCopy {
public:
    explicit KeptCopy(TimelineCopyResult& result) : result_(result) {}

    // True when the copy may go on; *kept says whether the file is there.
    bool copy(const std::string& from, const std::string& to, bool* kept = nullptr) {
        std::string error;
        const CopyOutcome outcome = copyFile({scannedBackupFolder(from), from}, to, buffer_, error);
        if (kept != nullptr) {
            *kept = outcome == CopyOutcome::Copied || outcome == CopyOutcome::AlreadyThere;
        }
        switch (outcome) {
            case CopyOutcome::Copied:
                ++result_.filesCopied;
                return true;
            case CopyOutcome::SourceGone:
                SystemLog::write("Timeline copy skips a file that is gone or " +
                                 std::string(kNotRegularInside) + ": " + from);
                return true;
            case CopyOutcome::AlreadyThere:
                return true;
            case CopyOutcome::Failed:
                result_.failures.push_back(error);
                return false;
        }
        return false;
    }

    // A second name for a file already kept, under which the Timeline's
    // own readers and views look for it; a copy where links are refused.
    bool alias(const std::string& kept, const std::string& to) {
        std::error_code ec;
        if (fs::exists(to, ec)) {
            return true;
        }
        fs::create_hard_link(kept, to, ec);
        return !ec || copy(kept, to);
    }

private:
    TimelineCopyResult& result_;
    std::vector<char> buffer_ = std::vector<char>(1024 * 1024);
};

// A file of the scanned backup by its key, in either layout.
std::optional<std::string> keyedFileOf(std::span<const KTTreeDirNode> media, std::string_view key) {
    if (media.empty()) {
        return std::nullopt;
    }
    const std::string backup = scannedBackupFolder(media.front().fileKey);
    const std::string name(key);
    for (const std::string& path :
         {backup + "/" + name.substr(0, 2) + "/" + name, backup + "/" + name}) {
        if (isSourceFile({backup, path})) {
            return path;
        }
    }
    return std::nullopt;
}

std::string twoLevel(const std::string& folder, const std::string& key) {
    return folder + "/" + key.substr(0, 2) + "/" + key;
}

bool isChatDatabase(std::string_view relativePath) {
    return relativePath == "ChatStorage.sqlite" || relativePath == "Documents/ChatStorage.sqlite";
}

// The catalogue of the kept files, in the form backups keep it, so the
// Timeline's scan indexes them as the backup's scan did. Written last: a
// Timeline without it is read as one made from a device.
Status writeCatalogue(const std::string& path, const std::vector<KTTreeDirNode>& kept) {
    const std::string temporary = path + ".part";
    std::error_code ec;
    fs::remove(temporary, ec);
    {
        SqliteDatabase db;
        if (db.open(temporary, SqliteDatabase::Mode::Create) != SQLITE_OK ||
            db.execute("create table Files (fileID TEXT PRIMARY KEY, domain TEXT, "
                       "relativePath TEXT, flags INTEGER, file BLOB); begin") != SQLITE_OK) {
            return Status::ioError("cannot write " + path + ": " + db.lastError());
        }
        SqliteStatement insert;
        if (insert.prepare(db, "insert or replace into Files values (?,?,?,1,NULL)") != SQLITE_OK) {
            return Status::ioError("cannot write " + path + ": " + db.lastError());
        }
        for (const KTTreeDirNode& file : kept) {
            const std::string key = SHAH::hexOf(file.fileDomain.str() + "-" + file.filePath.str());
            if (insert.bind(1, key) != SQLITE_OK ||
                insert.bind(2, file.fileDomain.view()) != SQLITE_OK ||
                insert.bind(3, file.filePath.view()) != SQLITE_OK || insert.step() != SQLITE_DONE ||
                insert.reset() != SQLITE_OK) {
                return Status::ioError("cannot write " + path + ": " + db.lastError());
            }
        }
        insert.finalize();
        if (db.execute("commit") != SQLITE_OK) {
            return Status::ioError("cannot write " + path + ": " + db.lastError());
        }
    }
    fs::rename(temporary, path, ec);
    return ec ? Status::ioError("cannot write " + path + ": " + ec.message()) : Status();
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
    if (const Status made = makeFolders(path); !made.ok()) {
        SystemLog::write("Cannot create the Timeline folder " + path + ": " + made.message());
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
    // The record and the store of its texts travel together.
    struct Held {
        TextStore texts;
        KTWhatsAppIDInfo info;
    };
    auto held = std::make_shared<Held>();
    TimelineAccount account;
    const std::string photo = folder + "/" + kPhotoName;
    if (isLoadableImage({folder, photo})) {
        held->info.whatsAppContactPath = held->texts.keep(photo);
    }
    std::optional<PlistValue> prefs =
        PlistValue::fromFile(PathWithin{folder, folder + "/" + kPreferencesName});
    if (prefs && prefs->asDictionary() != nullptr) {
        const std::optional<std::string> name = prefs->stringFor("FullUserName");
        const std::optional<std::string> status = prefs->stringFor("CurrentStatusText");
        held->info.whatsAppNodeName = held->texts.keep(name.value_or(""));
        held->info.whatsAppCurrentStatus = held->texts.keep(status.value_or(""));
        account.nameLabel = formatted("Name: ", name);
        account.stateLabel = formatted("State: ", status);
    }
    account.info = std::shared_ptr<const KTWhatsAppIDInfo>(held, &held->info);
    return account;
}

TimelineViewData ClickShowWhatsAppTimeline(const std::string& timelinePath, UiPort& ui) {
    TimelineViewData view;
    const std::vector<TimelineFolder> folders = timelineFolders(timelinePath);
    if (folders.empty()) {
        ui.showAlert(okAlert(kTimelineNotFound, kCreateTimelineHint));
        return view;
    }
    for (const TimelineFolder& folder : folders) {
        KTTimeLineFileNode& row = view.rows.emplace_back();
        row.nodeName = folder.name;
        row.nodePath = folder.path;
    }
    view.fullTimelinPath = folders.front().path;
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
    makeFolders(parent).ignore();  // the first create below says what went wrong
    std::error_code ec;
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

TimelineCopyResult NewTimeLineCopyAllWhatsAppDataThreader(std::span<const KTTreeDirNode> media,
                                                          const std::string& folder,
                                                          const std::string& parent,
                                                          std::stop_token stop) {
    TimelineCopyResult result;
    result.folder = folder;
    KeptCopy copy(result);
    const std::string kept = folder + "/" + kKeptBackupFolder;
    std::vector<KTTreeDirNode> catalogued;
    std::error_code ec;
    bool ok = fs::create_directory(kept, ec);
    if (!ok) {
        result.failures.push_back("cannot create " + kept + ": " + ec.message());
    }
    for (size_t at = 0; ok && at < media.size(); ++at) {
        const KTTreeDirNode& entry = media[at];
        if (stop.stop_requested()) {
            result.failures.push_back("the Timeline copy into " + folder + " was stopped");
            ok = false;
            break;
        }
        // Every file under its key, as the backup kept it: files of one name
        // in different folders stay apart.
        const std::string key = SHAH::hexOf(entry.fileDomain.str() + "-" + entry.filePath.str());
        const std::string to = twoLevel(kept, key);
        fs::create_directories(fs::path(to).parent_path(), ec);
        bool there = false;
        ok = copy.copy(entry.fileKey, to, &there);
        if (!ok) {
            // Kept files are named by key: say which file it was.
            result.failures.back() += " (" + entry.filePath.str() + ")";
        }
        if (!ok || !there) {
            continue;
        }
        catalogued.push_back(entry);
        // Backups from before the catalogue database keep their files flat,
        // and a few readers look for a database or log only there: those
        // files are found under both forms. Media are looked up by path.
        if (entry.filePath.view().find("Media/") == std::string_view::npos) {
            ok = copy.alias(to, kept + "/" + key);
        }
        if (!ok) {
            continue;
        }
        if (isChatDatabase(entry.filePath.view())) {
            ok = copy.alias(to, folder + "/ChatStorage.sqlite");
        } else if (asciiLower(lastComponent(entry.filePath)) == kPhotoName) {
            ok = copy.alias(to, folder + "/" + kPhotoName) &&
                 copy.copy(entry.fileKey, parent + "/" + kPhotoName);
        }
    }
    // The address book and its pictures, which name the people of the chats.
    for (const char* key : {kAddressBookKey, kAddressBookImagesKey}) {
        const std::optional<std::string> from = ok ? keyedFileOf(media, key) : std::nullopt;
        if (from) {
            const std::string to = twoLevel(kept, key);
            fs::create_directories(fs::path(to).parent_path(), ec);
            ok = copy.copy(*from, to) &&
                 (key != std::string_view(kAddressBookKey) || copy.alias(to, folder + "/" + key));
        }
    }
    if (ok) {
        if (const Status written = writeCatalogue(kept + "/Manifest.db", catalogued);
            !written.ok()) {
            result.failures.push_back(written.message());
            ok = false;
        }
    }
    if (!ok) {
        fs::remove_all(folder, ec);
    }
    return result;
}

namespace {

// Only a backup scan leaves the WhatsApp files a Timeline is made of.
bool canMakeTimelineOf(const ScanResult* result) {
    return result != nullptr && result->kind == SourceKind::Backup &&
           !result->index.whatsAppFileArray.empty() && !result->WhatsAppMediaArray.empty();
}

// The part of making a backup that runs on the main thread: the check of the
// scan result, the dated folder and the account's preferences beside it.
// The folder, or nullopt once the person has been told why there is none
// (with the failure in *failed when there was a result to copy).
std::optional<std::string> beginTimeline(const ScanResult* result, std::time_t when, UiPort& ui,
                                         std::optional<TimelineCopyResult>& failed) {
    if (!canMakeTimelineOf(result)) {
        ui.showAlert(okAlert(kNoScanResult, kCreateTimelineHint));
        return std::nullopt;
    }
    // Backups made from scans always go to the default folder, whatever
    // timelinePath the preferences name.
    const std::string parent = UserPaths::timelineFolder();
    std::optional<std::string> folder = createTimelineFolder(parent, timelineFolderName(when));
    // Beside the backups, where the view has always read them, and in the
    // backup itself, so each Timeline shows its own account.
    if (folder && !(writePreferences(parent, *result) && writePreferences(*folder, *result))) {
        std::error_code ec;
        fs::remove_all(*folder, ec);
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

std::optional<TimelineCopyResult> NewWhatsAppTimeLineAction(const ScanResult& result, UiPort& ui,
                                                            std::time_t when) {
    std::optional<TimelineCopyResult> copied;
    if (std::optional<std::string> folder = beginTimeline(&result, when, ui, copied)) {
        copied = NewTimeLineCopyAllWhatsAppDataThreader(result.WhatsAppMediaArray, *folder,
                                                        UserPaths::timelineFolder());
        ui.showAlert(alertFor(*copied));
    }
    return copied;
}

bool TimelineMaker::ClickCreateWhatsAppTimeline(ScanResultPtr result, std::time_t when) {
    if (copy_.running()) {
        return false;
    }
    std::optional<TimelineCopyResult> failed;
    std::optional<std::string> folder = beginTimeline(result.get(), when, ui_, failed);
    const std::lock_guard lock(mutex_);
    if (!folder) {
        if (failed) {
            lastResult_ = std::move(failed);
        }
        return false;
    }
    fullWhatsAppLocation_ = *folder;
    return copy_.start([this, result = std::move(result), folder = *folder,
                        parent = UserPaths::timelineFolder()](std::stop_token stop) {
        TimelineCopyResult copied = NewTimeLineCopyAllWhatsAppDataThreader(
            result->WhatsAppMediaArray, folder, parent, stop);
        finish(std::move(copied), stop.stop_requested());
    });
}

// A copy stopped because the maker goes tells nobody: the interface that
// would show the alert may be the one waiting for it to end.
void TimelineMaker::finish(TimelineCopyResult result, bool stopped) {
    if (!stopped) {
        const AlertRequest alert = alertFor(result);
        ui_.runOnMainThreadAndWait([this, &alert] { ui_.showAlert(alert); });
    }
    const std::lock_guard lock(mutex_);
    lastResult_ = std::move(result);
}

std::optional<TimelineCopyResult> TimelineMaker::lastResult() const {
    const std::lock_guard lock(mutex_);
    return lastResult_;
}

std::string TimelineMaker::fullWhatsAppLocation() const {
    const std::lock_guard lock(mutex_);
    return fullWhatsAppLocation_;
}

}  // namespace vessamo
