#include "app/ResultExportCommands.h"

#include <algorithm>
#include <ctime>

#include "common/SystemLog.h"
#include "common/UserPaths.h"
#include "export/CharacterView.h"
#include "export/ExportDestination.h"
#include "export/HtmlChatExport.h"
#include "export/MediaExports.h"
#include "export/ReportExport.h"

namespace vessamo {

namespace {

// The date part and the time of now, as the recovery's proposed name
// shows them: "2026-12-06" and "20.45.09".
std::pair<std::string, std::string> dateAndTimeOfNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H.%M.%S", &local);
    return {date, time};
}

std::optional<MediaKind> mediaKindOf(ExportButton button) {
    switch (button) {
        case ExportButton::exportAllFilesBtn:
            return MediaKind::all;
        case ExportButton::exportAllVideosBtn:
            return MediaKind::videos;
        case ExportButton::exportAllAudioBtn:
            return MediaKind::audios;
        case ExportButton::exportAllPhotosBtn:
            return MediaKind::photos;
        default:
            return std::nullopt;
    }
}

// The folder each export writes below the destination, and shows at its end.
std::string folderOf(ExportButton button, const std::string& recoverPath) {
    if (const std::optional<MediaKind> kind = mediaKindOf(button)) {
        return mediaFolderOf(recoverPath, *kind);
    }
    switch (button) {
        case ExportButton::exportChatHtmlBtn:
        case ExportButton::exportChatTxtBtn:
        case ExportButton::exportCHatContactBtn:
            return recoverPath + "/Chats";
        case ExportButton::exportChatReportBtn:
            return recoverPath + "/" + kReportFolder;
        case ExportButton::exportContactBtn:
            return recoverPath + "/Contact";
        case ExportButton::exportFavContactBtn:
            return recoverPath + "/Favorites Contact";
        case ExportButton::exportCallBtn:
            return recoverPath + "/Call History";
        case ExportButton::exportCHatAttachBtn:
        case ExportButton::exportMediaBtn:
            return recoverPath + "/Media Files";
        default:
            return recoverPath;
    }
}

// Whether an export's items count towards the view's exported-items counter.
bool isCounted(ExportButton button) {
    switch (button) {
        case ExportButton::exportChatHtmlBtn:
        case ExportButton::exportChatReportBtn:
        case ExportButton::exportContactBtn:
        case ExportButton::exportFavContactBtn:
        case ExportButton::exportCallBtn:
        case ExportButton::recoveryBtn:
            return true;
        default:
            return false;
    }
}

template <typename T>
int32_t present(const std::vector<const T*>& records) {
    return static_cast<int32_t>(
        std::count_if(records.begin(), records.end(), [](const T* r) { return r != nullptr; }));
}

void logReport(const FinishedExport& done) {
    SystemLog::write("Export into " + done.revealed + ": " +
                     std::to_string(done.report.filesWritten) + " files written, " +
                     std::to_string(done.report.failures.size()) + " failed");
    for (const std::string& failure : done.report.failures) {
        SystemLog::write("Export failed: " + failure);
    }
}

}  // namespace

ResultExportCommands::ResultExportCommands(UiPort& ui, ResultPages& pages, ResultProvider current)
    : ui_(ui), pages_(pages), current_(std::move(current)) {}

std::string ResultExportCommands::proposedName(ExportButton button) {
    if (button != ExportButton::recoveryBtn) {
        return "Vessamo";
    }
    const auto [date, time] = dateAndTimeOfNow();
    return "Vessamo " + date + " - " + time;
}

bool ResultExportCommands::KTExportButtonMouseDownHandle(ExportButton button) {
    ScanResultPtr result = current_ ? current_() : nullptr;
    if (!result) {
        return false;
    }
    const std::optional<std::string> destination = ui_.chooseSavePath(
        SavePanelRequest{UserPaths::userFolder() + "/Documents", proposedName(button)});
    if (!destination || destination->empty()) {
        return false;
    }
    if (const Status refused = checkExportDestination(*result, *destination); !refused.ok()) {
        AlertRequest alert;
        alert.title = "Choose another folder";
        alert.detail = refused.message();
        ui_.showAlert(alert);
        return false;
    }
    {
        const std::lock_guard lock(mutex_);
        recoverPath_ = *destination;
    }
    exports_.start(
        [this, job = jobFor(button, *destination, std::move(result))](std::stop_token stop) {
            finish(perform(job, stop), stop.stop_requested(), *job.tracker);
        });
    return true;
}

std::string ResultExportCommands::ClickNewHexWindowAction() const {
    const ScanResultPtr result = current_ ? current_() : nullptr;
    return result ? ConvertFileToHexString(result->currentScanPath) : std::string();
}

void ResultExportCommands::actExportImage(std::string text) {
    std::shared_ptr<Tracker> tracker = track(ExportButton::hexExportBtn, hexExportPath(), 0);
    exports_.start([this, text = std::move(text), tracker](std::stop_token stop) {
        finish({ExportButton::hexExportBtn, hexExportPath(), ExportHexFileThread(text)},
               stop.stop_requested(), *tracker);
    });
}

ResultExportCommands::Job ResultExportCommands::jobFor(ExportButton button, std::string destination,
                                                       ScanResultPtr result) {
    Job job{button, std::move(destination), std::move(result), pages_.lists(), {}, {}, {}, {}};
    if (!job.lists || job.lists->result != job.result) {
        job.lists.reset();  // the pages show another result: nothing of it is chosen
    } else {
        choose(job);
    }
    job.tracker = track(button, job.recoverPath, totalOf(job));
    return job;
}

void ResultExportCommands::choose(Job& job) const {
    const ExportButton button = job.button;
    job.chats = pages_.chatsForExport();
    if (mediaKindOf(button)) {
        job.media = pages_.mediaBroswerArray();
    } else if (button == ExportButton::exportMediaBtn) {
        job.media = pages_.selectedMedia();
    }
    if (button == ExportButton::recoveryBtn) {
        job.recovery.resources = pages_.markedResources();
        job.recovery.favContacts = pages_.markedFavourites();
        job.recovery.contacts = pages_.markedContacts();
        job.recovery.conversations = pages_.deletedConversationsMarked();
    }
}

// The items an export counts as it goes: what it was given, or the whole
// list of the result for the list exports.
int32_t ResultExportCommands::totalOf(const Job& job) {
    const ScanResult& result = *job.result;
    const auto sizeOf = [](const auto& records) { return static_cast<int32_t>(records.size()); };
    switch (job.button) {
        case ExportButton::exportChatHtmlBtn:
        case ExportButton::exportChatReportBtn:
            return present(job.chats);
        case ExportButton::exportContactBtn:
            return sizeOf(result.WhatsAppContactArray);
        case ExportButton::exportFavContactBtn:
            return sizeOf(result.WhatsAppFacContactArray);
        case ExportButton::exportCallBtn:
            return sizeOf(result.WhatsAppCallArray);
        case ExportButton::recoveryBtn:
            return present(job.recovery.resources) + present(job.recovery.favContacts) +
                   present(job.recovery.contacts) + present(job.recovery.conversations);
        default:
            return 0;
    }
}

std::shared_ptr<ResultExportCommands::Tracker> ResultExportCommands::track(ExportButton button,
                                                                           std::string destination,
                                                                           int32_t total) {
    auto tracker = std::make_shared<Tracker>();
    tracker->fixed.button = button;
    tracker->fixed.destination = std::move(destination);
    tracker->fixed.total = total;
    tracker->counted = isCounted(button);
    const std::lock_guard lock(mutex_);
    tracker->fixed.id = trackers_.size() + 1;
    trackers_.push_back(tracker);
    return tracker;
}

// The end of every export's worker: the log, the folder shown (the file
// opened, for the character view), the report kept. An export stopped
// because the commands go shows nothing: the interface that would show it
// may be the one waiting for it to end.
void ResultExportCommands::finish(FinishedExport done, bool stopped, Tracker& tracker) {
    logReport(done);
    const bool opensFile = done.button == ExportButton::hexExportBtn;
    if (!stopped && (!opensFile || done.report.failures.empty())) {
        ui_.runOnMainThreadAndWait([&] {
            opensFile ? ui_.openFile(done.revealed) : ui_.revealInFileViewer(done.revealed);
        });
    }
    const std::lock_guard lock(mutex_);
    tracker.fixed.finished = true;
    tracker.fixed.revealed = done.revealed;
    tracker.fixed.filesWritten = done.report.filesWritten;
    tracker.fixed.failures = done.report.failures.size();
    if (tracker.counted) {
        recovredFilesNum_ += tracker.done.load();
    }
    finished_.push_back(std::move(done));
}

FinishedExport ResultExportCommands::perform(const Job& job, const std::stop_token& stop) {
    const ScanResult& result = *job.result;
    const std::string& to = job.recoverPath;
    // Chats, contacts, WhatsApp contacts, calls and the recovery count their
    // items for the view (isCounted); every export counts them for its progress.
    // Every export bumps its own count; the counting ones add it to the
    // view's counter (recovredFilesNum) as they go.
    const ExportControl control{stop, &job.tracker->done};
    FinishedExport done{job.button, folderOf(job.button, to), {}};
    if (const Status refused = checkExportDestination(result, to); !refused.ok()) {
        done.report.failures.push_back(refused.message());
        return done;
    }
    if (const std::optional<MediaKind> kind = mediaKindOf(job.button)) {
        done.report = exportMediaByKind(result, job.media, to, *kind, control);
        return done;
    }
    switch (job.button) {
        case ExportButton::exportChatHtmlBtn:
            done.report = exportChatsAsHtml(result, job.chats, to, control);
            break;
        case ExportButton::exportChatReportBtn:
            done.report = exportChatReport(result, job.chats, to, ReportOptions{}, control);
            break;
        case ExportButton::exportChatTxtBtn:
            done.report = ExportChatAsTextthreader(result, job.chats, to, control);
            break;
        case ExportButton::exportCHatContactBtn:
            done.report = ExportSelectedChatContactsthreader(result, job.chats, to, control);
            break;
        case ExportButton::exportContactBtn:
            done.report = ExportChatContactsthreader(result, to, control);
            break;
        case ExportButton::exportFavContactBtn:
            done.report = ExportChatFavContactsthreader(result, to, control);
            break;
        case ExportButton::exportCallBtn:
            done.report = ExportWhatsAppChatCallthreader(result, to, control);
            break;
        case ExportButton::exportCHatAttachBtn:
            done.report = ExportChatAsAttachmentthreader(result, job.chats, to, control);
            break;
        case ExportButton::exportMediaBtn:
            done.report = ExportChatSelectedMediaPhotothreader(result, job.media, to, control);
            break;
        case ExportButton::recoveryBtn:
            done.report = recoverFilesThread(result, job.recovery, to, control);
            break;
        default:
            break;
    }
    return done;
}

std::string ResultExportCommands::recoverPath() const {
    const std::lock_guard lock(mutex_);
    return recoverPath_;
}

std::vector<FinishedExport> ResultExportCommands::finishedExports() const {
    const std::lock_guard lock(mutex_);
    return finished_;
}

int32_t ResultExportCommands::recovredFilesNum() const {
    const std::lock_guard lock(mutex_);
    int32_t count = recovredFilesNum_;
    for (const std::shared_ptr<Tracker>& tracker : trackers_) {
        if (tracker->counted && !tracker->fixed.finished) {
            count += tracker->done.load();
        }
    }
    return count;
}

// Called with the mutex held.
ExportProgress ResultExportCommands::snapshotOf(const Tracker& tracker) {
    ExportProgress progress = tracker.fixed;
    progress.done = tracker.done.load();
    return progress;
}

std::vector<ExportProgress> ResultExportCommands::exportProgress() const {
    const std::lock_guard lock(mutex_);
    std::vector<ExportProgress> all;
    all.reserve(trackers_.size());
    for (const std::shared_ptr<Tracker>& tracker : trackers_) {
        all.push_back(snapshotOf(*tracker));
    }
    return all;
}

std::optional<ExportProgress> ResultExportCommands::progressOf(uint64_t id) const {
    const std::lock_guard lock(mutex_);
    if (id == 0 || id > trackers_.size()) {
        return std::nullopt;
    }
    return snapshotOf(*trackers_[id - 1]);
}

uint64_t ResultExportCommands::lastStartedExport() const {
    const std::lock_guard lock(mutex_);
    return trackers_.size();
}

}  // namespace vessamo
