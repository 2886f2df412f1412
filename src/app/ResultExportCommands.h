#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/UiPort.h"
#include "export/ExportSource.h"
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
    hexExportBtn,  // the character view's export
};

// What one export did, kept for the front end once its worker has ended.
struct FinishedExport {
    ExportButton button;
    std::string revealed;  // the folder shown in the file viewer, or the file opened
    ExportReport report;
};

// The export commands of the result view: each asks where to write through
// the save sheet, then runs on a worker of its own while the interface goes
// on, counts what it exported and shows its folder when done. The GUI stays
// as silent about failures as it always was; the reports are logged and kept
// for whoever wants them.
class ResultExportCommands {
public:
    using SourceProvider = std::function<std::shared_ptr<const ExportSource>()>;

    ResultExportCommands(UiPort& ui, ResultPages& pages, SourceProvider source);
    ~ResultExportCommands();
    ResultExportCommands(const ResultExportCommands&) = delete;
    ResultExportCommands& operator=(const ResultExportCommands&) = delete;

    // A button was pressed: asks for the destination and starts the export.
    // False when the person cancelled or there is nothing scanned to export.
    bool KTExportButtonMouseDownHandle(ExportButton button);

    bool ExportChatAsHtmlAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportChatHtmlBtn);
    }
    bool ExportChatAsTextAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportChatTxtBtn);
    }
    bool ExportSelectedChatContactsAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportCHatContactBtn);
    }
    bool ExportChatContactsAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportContactBtn);
    }
    bool ExportChatFavContactsAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportFavContactBtn);
    }
    bool ExportWhatsAppChatCallAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportCallBtn);
    }
    bool ExportChatAttachmentAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportCHatAttachBtn);
    }
    bool ExportAllMediaFilesAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportAllFilesBtn);
    }
    bool ExportAllVideosAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportAllVideosBtn);
    }
    bool ExportAllAudiosAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportAllAudioBtn);
    }
    bool ExportAllPhotosAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportAllPhotosBtn);
    }
    bool ExportSelectedMediaPhotoAction() {
        return KTExportButtonMouseDownHandle(ExportButton::exportMediaBtn);
    }
    bool recoveryAction() { return KTExportButtonMouseDownHandle(ExportButton::recoveryBtn); }

    // The character view of the database the scan read; "" when there is
    // none. Its export writes the text on a worker and opens the file.
    [[nodiscard]] std::string ClickNewHexWindowAction() const;
    void actExportImage(std::string text);

    // The media browser's selected items, for the selection export.
    void setMediaSelection(std::set<size_t> selection);

    // The name the save sheet proposes for a button's export.
    [[nodiscard]] static std::string proposedName(ExportButton button);

    [[nodiscard]] std::string recoverPath() const;
    [[nodiscard]] int32_t recovredFilesNum() const { return recovredFilesNum_.load(); }
    [[nodiscard]] bool isExporting() const { return running_.load() > 0; }
    // Returns once every started export has ended.
    void waitForExports();
    [[nodiscard]] std::vector<FinishedExport> finishedExports() const;

private:
    struct Job {
        ExportButton button;
        std::string recoverPath;
        std::shared_ptr<const ExportSource> source;
        std::optional<size_t> selectedChatRow;
        std::vector<IKImageItem> media;
        std::set<size_t> mediaSelection;
        RecoveryLists recovery;
    };

    [[nodiscard]] Job jobFor(ExportButton button, std::string destination,
                             std::shared_ptr<const ExportSource> source) const;
    void run(const Job& job);
    void finish(FinishedExport done);
    void startWorker(std::function<void()> work);
    [[nodiscard]] FinishedExport perform(const Job& job);
    [[nodiscard]] ExportReport exportChats(const Job& job);

    UiPort& ui_;
    ResultPages& pages_;
    SourceProvider source_;
    std::set<size_t> mediaSelection_;
    ItemCounter recovredFilesNum_{0};
    std::atomic<int> running_{0};
    mutable std::mutex mutex_;
    std::string recoverPath_;
    std::vector<FinishedExport> finished_;
    std::vector<std::thread> workers_;
};

}  // namespace vessamo
