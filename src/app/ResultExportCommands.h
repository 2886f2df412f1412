#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/UiPort.h"
#include "common/Worker.h"
#include "export/ExportReport.h"
#include "export/TextExports.h"
#include "results/ResultPages.h"

namespace vessamo {

// The result view's export buttons.
enum class ExportButton {
    exportChatHtmlBtn,
    exportChatTxtBtn,
    exportCHatContactBtn,
    exportContactBtn,
    exportFavContactBtn,
    exportCallBtn,
    exportCHatAttachBtn,
    exportAllFilesBtn,
    exportAllVideosBtn,
    exportAllAudioBtn,
    exportAllPhotosBtn,
    exportMediaBtn,
    recoveryBtn,
    exportChatReportBtn,  // the chat report: index, pages and JSON to read and keep
    hexExportBtn,         // the character view's export
};

// What one export did, kept for the front end once its worker has ended.
struct FinishedExport {
    ExportButton button;
    std::string revealed;  // the folder shown in the file viewer, or the file opened
    ExportReport report;
};

// How far one export has come, for the views that show it while it runs.
struct ExportProgress {
    uint64_t id = 0;  // from 1, in the order the exports started
    ExportButton button = ExportButton::exportChatHtmlBtn;
    std::string destination;  // the path chosen in the save sheet
    int32_t done = 0;         // items handled so far
    int32_t total = 0;        // items it will handle; 0 when it does not count them
    bool finished = false;
    // Once finished: the folder shown (the file opened) and what was written.
    std::string revealed;
    size_t filesWritten = 0;
    size_t failures = 0;
};

// The export commands of the result view: each asks where to write through
// the save sheet, then runs on a worker of its own while the interface goes
// on, counts what it exported and shows its folder when done. The GUI stays
// as silent about failures as it always was; the reports are logged and kept
// for whoever wants them.
class ResultExportCommands {
public:
    // The result the exports read: the current source's, or null while
    // there is none to export (nothing scanned, or a scan running).
    using ResultProvider = std::function<ScanResultPtr()>;

    ResultExportCommands(UiPort& ui, ResultPages& pages, ResultProvider current);
    ResultExportCommands(const ResultExportCommands&) = delete;
    ResultExportCommands& operator=(const ResultExportCommands&) = delete;

    // A button was pressed: asks for the destination and starts the export
    // of what the pages chose. False when the person cancelled or there is
    // nothing scanned to export.
    bool KTExportButtonMouseDownHandle(ExportButton button);

    // The character view of the database the scan read; "" when there is
    // none. Its export writes the text on a worker and opens the file.
    [[nodiscard]] std::string ClickNewHexWindowAction() const;
    void actExportImage(std::string text);

    // The name the save sheet proposes for a button's export.
    [[nodiscard]] static std::string proposedName(ExportButton button);

    [[nodiscard]] std::string recoverPath() const;
    // Items the counting exports handled, those still running included.
    [[nodiscard]] int32_t recovredFilesNum() const;
    [[nodiscard]] bool isExporting() const { return exports_.running() > 0; }
    // Returns once every started export has ended.
    void waitForExports() { exports_.joinAll(); }
    [[nodiscard]] std::vector<FinishedExport> finishedExports() const;

    // Every export started so far, running or finished, in starting order;
    // read by the interface on a timer while exports run.
    [[nodiscard]] std::vector<ExportProgress> exportProgress() const;
    [[nodiscard]] std::optional<ExportProgress> progressOf(uint64_t id) const;
    // The export the last successful button press or character export
    // started; 0 before the first.
    [[nodiscard]] uint64_t lastStartedExport() const;

private:
    // One export's running count, bumped on its worker. What the finished
    // export showed and wrote is filled in by finish(), under the mutex.
    struct Tracker {
        ExportProgress fixed;  // id, button, destination, total; the rest once finished
        bool counted = false;  // its items count towards recovredFilesNum
        ItemCounter done{0};
    };

    // What an export works on, taken on the interface thread when the button
    // is pressed: the view may change while the export runs. The lists keep
    // the chosen records (pointers into them and the result) valid.
    struct Job {
        ExportButton button;
        std::string recoverPath;
        ScanResultPtr result;
        ResultListsPtr lists;
        std::vector<const KTWhatsAppCovNode*> chats;
        std::vector<IKImageItem> media;
        RecoveryLists recovery;
        std::shared_ptr<Tracker> tracker;
    };

    [[nodiscard]] Job jobFor(ExportButton button, std::string destination, ScanResultPtr result);
    void choose(Job& job) const;
    [[nodiscard]] static int32_t totalOf(const Job& job);
    [[nodiscard]] FinishedExport perform(const Job& job, const std::stop_token& stop);
    void finish(FinishedExport done, bool stopped, Tracker& tracker);
    std::shared_ptr<Tracker> track(ExportButton button, std::string destination, int32_t total);
    [[nodiscard]] static ExportProgress snapshotOf(const Tracker& tracker);

    UiPort& ui_;
    ResultPages& pages_;
    ResultProvider current_;
    int32_t recovredFilesNum_ = 0;  // of the finished exports; under the mutex
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Tracker>> trackers_;
    std::string recoverPath_;
    std::vector<FinishedExport> finished_;
    WorkerSet exports_;  // last: stopped and joined before what they use goes
};

}  // namespace vessamo
