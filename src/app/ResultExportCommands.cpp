#include "app/ResultExportCommands.h"

#include <ctime>

#include "common/SystemLog.h"
#include "common/UserPaths.h"
#include "export/CharacterView.h"
#include "export/HtmlChatExport.h"
#include "export/MediaExports.h"
#include "export/MessageAttachmentCopy.h"

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

// The resource copy of the combined recovery. The listed size is a rounded
// text ("4.00K"), so the whole file is copied rather than that many bytes:
// a copy cut to the rounded size would be a damaged file.
ExportReport copyResource(const std::string& from, const std::string& to) {
    ExportReport report;
    CopyBuffer buffer;
    const std::string error = copyFileInPieces(from, to, buffer);
    if (error.empty()) {
        ++report.filesWritten;
    } else {
        report.failures.push_back("cannot copy " + from + " to " + to + ": " + error);
    }
    return report;
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

ResultExportCommands::ResultExportCommands(UiPort& ui, ResultPages& pages, SourceProvider source)
    : ui_(ui), pages_(pages), source_(std::move(source)) {}

ResultExportCommands::~ResultExportCommands() {
    waitForExports();
}

std::string ResultExportCommands::proposedName(ExportButton button) {
    if (button != ExportButton::recoveryBtn) {
        return "Vessamo";
    }
    const auto [date, time] = dateAndTimeOfNow();
    return "Vessamo " + date + " - " + time;
}

bool ResultExportCommands::KTExportButtonMouseDownHandle(ExportButton button) {
    std::shared_ptr<const ExportSource> source = source_ ? source_() : nullptr;
    if (!source || source->node == nullptr) {
        return false;
    }
    const std::optional<std::string> destination = ui_.chooseSavePath(
        SavePanelRequest{UserPaths::userFolder() + "/Documents", proposedName(button)});
    if (!destination || destination->empty()) {
        return false;
    }
    Job job = jobFor(button, *destination, std::move(source));
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        recoverPath_ = *destination;
    }
    startWorker([this, job = std::move(job)] { run(job); });
    return true;
}

void ResultExportCommands::startWorker(std::function<void()> work) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++running_;
    workers_.emplace_back(std::move(work));
}

std::string ResultExportCommands::ClickNewHexWindowAction() const {
    const std::shared_ptr<const ExportSource> source = source_ ? source_() : nullptr;
    return source ? ConvertFileToHexString(source->currentScanPath) : std::string();
}

void ResultExportCommands::actExportImage(std::string text) {
    startWorker([this, text = std::move(text)] {
        finish({ExportButton::hexExportBtn, hexExportPath(), ExportHexFileThread(text)});
    });
}

ResultExportCommands::Job ResultExportCommands::jobFor(
    ExportButton button, std::string destination,
    std::shared_ptr<const ExportSource> source) const {
    // Taken now, on the interface thread: the view may change while the
    // export runs.
    Job job{button, std::move(destination), std::move(source), std::nullopt, {}, {}, {}};
    if (pages_.currentTableView() == ResultCategory::Chats) {
        job.selectedChatRow = pages_.selectedRow();
    }
    if (mediaKindOf(button) || button == ExportButton::exportMediaBtn) {
        job.media = pages_.mediaBroswerArray();
        job.mediaSelection = mediaSelection_;
    }
    if (button == ExportButton::recoveryBtn) {
        job.recovery.resources = pages_.allResources();
        job.recovery.favContacts = pages_.allFavs();
        job.recovery.contacts = pages_.allContacts();
        job.recovery.conversations = job.source->deletedConversations;
    }
    return job;
}

void ResultExportCommands::run(const Job& job) {
    finish(perform(job));
}

// The end of every export's worker: the log, the folder shown (the file
// opened, for the character view), the report kept.
void ResultExportCommands::finish(FinishedExport done) {
    logReport(done);
    if (done.button != ExportButton::hexExportBtn) {
        ui_.runOnMainThreadAndWait([&] { ui_.revealInFileViewer(done.revealed); });
    } else if (done.report.failures.empty()) {
        ui_.runOnMainThreadAndWait([&] { ui_.openFile(done.revealed); });
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(std::move(done));
    --running_;
}

FinishedExport ResultExportCommands::perform(const Job& job) {
    const ExportSource& source = *job.source;
    const std::string& to = job.recoverPath;
    FinishedExport done{job.button, folderOf(job.button, to), {}};
    if (const std::optional<MediaKind> kind = mediaKindOf(job.button)) {
        done.report = exportMediaByKind(source, job.media, to, *kind);
        return done;
    }
    switch (job.button) {
        case ExportButton::exportChatHtmlBtn:
            done.report = exportChats(job);
            break;
        case ExportButton::exportChatTxtBtn:
            done.report = ExportChatAsTextthreader(source, to, job.selectedChatRow);
            break;
        case ExportButton::exportCHatContactBtn:
            done.report = ExportSelectedChatContactsthreader(source, to, job.selectedChatRow);
            break;
        case ExportButton::exportContactBtn:
            done.report = ExportChatContactsthreader(source, to, &recovredFilesNum_);
            break;
        case ExportButton::exportFavContactBtn:
            done.report = ExportChatFavContactsthreader(source, to, &recovredFilesNum_);
            break;
        case ExportButton::exportCallBtn:
            done.report = ExportWhatsAppChatCallthreader(source, to, &recovredFilesNum_);
            break;
        case ExportButton::exportCHatAttachBtn:
            done.report = ExportChatAsAttachmentthreader(source, to, job.selectedChatRow);
            break;
        case ExportButton::exportMediaBtn:
            done.report =
                ExportChatSelectedMediaPhotothreader(source, job.media, job.mediaSelection, to);
            break;
        case ExportButton::recoveryBtn: {
            RecoveryActions actions;
            actions.copyMedia = [](const std::string& from, const std::string& dest, uint64_t) {
                return copyResource(from, dest);
            };
            actions.writeChatPages = [&source](const std::string& path,
                                               const std::vector<KTWhatsAppCovNodePtr>& chats) {
                return writeRecoveredChatPages(source, chats, path);
            };
            done.report = recoverFilesThread(job.recovery, to, actions, &recovredFilesNum_);
            break;
        }
        default:
            break;
    }
    return done;
}

// The chats at the selected row of the chat list or checked, in list order.
ExportReport ResultExportCommands::exportChats(const Job& job) {
    const std::vector<KTWhatsAppCovNodePtr>& all = job.source->node->WhatsAppConvChatArray;
    std::vector<KTWhatsAppCovNodePtr> chosen;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] && (job.selectedChatRow == i || all[i]->bSelected)) {
            chosen.push_back(all[i]);
        }
    }
    return exportChatsAsHtml(*job.source, chosen, job.recoverPath, nullptr, &recovredFilesNum_);
}

void ResultExportCommands::setMediaSelection(std::set<size_t> selection) {
    mediaSelection_ = std::move(selection);
}

std::string ResultExportCommands::recoverPath() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return recoverPath_;
}

void ResultExportCommands::waitForExports() {
    std::vector<std::thread> workers;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

std::vector<FinishedExport> ResultExportCommands::finishedExports() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

}  // namespace vessamo
