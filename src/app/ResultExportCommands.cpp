#include "app/ResultExportCommands.h"

#include <ctime>

#include "common/SystemLog.h"
#include "common/UserPaths.h"
#include "export/CharacterView.h"
#include "export/HtmlChatExport.h"
#include "export/MediaExports.h"

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
    {
        const std::lock_guard lock(mutex_);
        recoverPath_ = *destination;
    }
    exports_.start(
        [this, job = jobFor(button, *destination, std::move(result))](std::stop_token stop) {
            finish(perform(job, stop), stop.stop_requested());
        });
    return true;
}

std::string ResultExportCommands::ClickNewHexWindowAction() const {
    const ScanResultPtr result = current_ ? current_() : nullptr;
    return result ? ConvertFileToHexString(result->currentScanPath) : std::string();
}

void ResultExportCommands::actExportImage(std::string text) {
    exports_.start([this, text = std::move(text)](std::stop_token stop) {
        finish({ExportButton::hexExportBtn, hexExportPath(), ExportHexFileThread(text)},
               stop.stop_requested());
    });
}

ResultExportCommands::Job ResultExportCommands::jobFor(ExportButton button, std::string destination,
                                                       ScanResultPtr result) const {
    Job job{button, std::move(destination), std::move(result), pages_.lists(), {}, {}, {}};
    if (!job.lists || job.lists->result != job.result) {
        job.lists.reset();  // the pages show another result: nothing of it is chosen
        return job;
    }
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
    return job;
}

// The end of every export's worker: the log, the folder shown (the file
// opened, for the character view), the report kept. An export stopped
// because the commands go shows nothing: the interface that would show it
// may be the one waiting for it to end.
void ResultExportCommands::finish(FinishedExport done, bool stopped) {
    logReport(done);
    const bool opensFile = done.button == ExportButton::hexExportBtn;
    if (!stopped && (!opensFile || done.report.failures.empty())) {
        ui_.runOnMainThreadAndWait([&] {
            opensFile ? ui_.openFile(done.revealed) : ui_.revealInFileViewer(done.revealed);
        });
    }
    const std::lock_guard lock(mutex_);
    finished_.push_back(std::move(done));
}

FinishedExport ResultExportCommands::perform(const Job& job, const std::stop_token& stop) {
    const ScanResult& result = *job.result;
    const std::string& to = job.recoverPath;
    // Chats, contacts, WhatsApp contacts, calls and the recovery count their
    // items for the view; the others are not counted.
    const ExportControl counted{stop, &recovredFilesNum_};
    const ExportControl uncounted{stop, nullptr};
    FinishedExport done{job.button, folderOf(job.button, to), {}};
    if (const std::optional<MediaKind> kind = mediaKindOf(job.button)) {
        done.report = exportMediaByKind(result, job.media, to, *kind, uncounted);
        return done;
    }
    switch (job.button) {
        case ExportButton::exportChatHtmlBtn:
            done.report = exportChatsAsHtml(result, job.chats, to, counted);
            break;
        case ExportButton::exportChatTxtBtn:
            done.report = ExportChatAsTextthreader(result, job.chats, to, uncounted);
            break;
        case ExportButton::exportCHatContactBtn:
            done.report = ExportSelectedChatContactsthreader(result, job.chats, to, uncounted);
            break;
        case ExportButton::exportContactBtn:
            done.report = ExportChatContactsthreader(result, to, counted);
            break;
        case ExportButton::exportFavContactBtn:
            done.report = ExportChatFavContactsthreader(result, to, counted);
            break;
        case ExportButton::exportCallBtn:
            done.report = ExportWhatsAppChatCallthreader(result, to, counted);
            break;
        case ExportButton::exportCHatAttachBtn:
            done.report = ExportChatAsAttachmentthreader(result, job.chats, to, uncounted);
            break;
        case ExportButton::exportMediaBtn:
            done.report = ExportChatSelectedMediaPhotothreader(result, job.media, to, uncounted);
            break;
        case ExportButton::recoveryBtn:
            done.report = recoverFilesThread(result, job.recovery, to, counted);
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

}  // namespace vessamo
