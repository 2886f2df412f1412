#include "ScanSession.h"

#include <unistd.h>

#include <filesystem>

namespace vessamo::cli {

ScanSession::ScanSession(std::ostream& err)
    : progress_(err, isatty(STDERR_FILENO) != 0),
      ui_(err),
      watcher_([this] {
          interrupted_ = true;
          if (OrlendoAppDelegate* running = running_.load()) {
              running->requestStop();
          }
      }),
      controller_(ui_, NotificationCenter::defaultCenter(), OrlendoAppDelegate::Options{}) {
    ui_.setPrinter([this](const std::string& line) { progress_.note(line); });
    shown_ = ScopedObserver(NotificationCenter::defaultCenter(), "ScanProgressInfo",
                            [this](const Notification& note) {
                                if (const int* percent = std::any_cast<int>(&note.object)) {
                                    progress_.show(*percent);
                                }
                            });
}

bool ScanSession::scan(const std::string& folder, bool recoverDeleted, const std::string& kind) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        return false;
    }
    running_ = &controller_;
    controller_.ClickAdvancedRecoveryMode(recoverDeleted);
    const SourceKind chosen = kind == "icloud"     ? SourceKind::ICloud
                              : kind == "timeline" ? SourceKind::Timeline
                              : kind == "itunes"   ? SourceKind::Backup
                                                   : OrlendoAppDelegate::sourceKindOfFolder(folder);
    (void)controller_.scanFolderOfKind(chosen, folder);
    controller_.waitForScan();
    running_ = nullptr;
    progress_.finish();
    return controller_.currentNode != nullptr;
}

}  // namespace vessamo::cli
