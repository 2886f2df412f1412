#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "common/NotificationCenter.h"
#include "common/UiPort.h"
#include "common/UserDefaults.h"
#include "results/KTWhatsAppNode.h"
#include "results/ResultPages.h"
#include "results/ResultSearch.h"
#include "results/ResultViewState.h"
#include "results/ScanResult.h"

namespace vessamo {

inline constexpr const char* kExampleAlertSuppress = "ExampleAlertSuppress";

// The result view without its widgets: it follows a scan through the scan
// notifications and decides what the page shows when the scan ends. The
// recovered messages reach it inside the finished result. Views bind to
// state().
class KTResultViewController {
public:
    KTResultViewController(UiPort& ui, UserDefaults& defaults, NotificationCenter& notifications);
    ~KTResultViewController();
    KTResultViewController(const KTResultViewController&) = delete;
    KTResultViewController& operator=(const KTResultViewController&) = delete;

    // Scan notifications; each runs on the posting scan thread.
    void ScanProgressInfomationHandle(int percent);
    void ScanAnvancedProgressInfoHandle(int messagesRead);
    // Only counted: the scan itself gathers the recovered messages.
    void DelScanWhatsAppInfoHandle(const KTWhatsAppNode& message);

    void ChangeToScanWhatsAppView();
    void startScanningGIF();
    void ChangeToNoiOSBackupView();
    void ChangeToNoiTunesBackupView();
    void ChangeToNoiCloudBackupView();
    void ChangeToNoTimelineBackupView();
    // The scan began a stage; runs on the scan thread.
    void ScanStageHandle(std::string_view stage);
    // Called on the scan thread when a scan ends; waits for the interface.
    void ScanThreadFinish(bool iCloudSource);
    void ScanThreadErrorHandle();
    void setfullWhatsAppLocation(const std::string& folder);

    // Shows a category of the current source; false for unknown numbers.
    bool showCategory(int typeNumber);

    // The stop button: true when the person confirms the stop.
    [[nodiscard]] bool confirmStop();
    // Before a rescan with another source: forget what is shown.
    void releaseResults();

    // Shows a finished scan's result, its recovered-only lists included.
    void showSource(ScanResultPtr result);
    // The home button: true when the person confirmed and the results went.
    bool actHome();
    [[nodiscard]] ResultPages& pages() { return pages_; }
    [[nodiscard]] ResultSearch& search() { return search_; }

    [[nodiscard]] ResultViewState state() const;
    // Called after every change of state(), on the thread that made it
    // (often a scan's): a view re-reads state() on its own thread, and may
    // coalesce many calls into one redraw. Progress never waits for a view.
    void setStateObserver(std::function<void()> observer);

private:
    // Applies a change to state_ under the lock, then tells the observer
    // outside it, on the calling thread.
    template <typename Change>
    void change(Change&& apply);
    void notifyObserver();
    void finishOnMainThread(bool iCloudSource);
    void showAdvancedModeTip();

    UiPort& ui_;
    UserDefaults& defaults_;
    mutable std::mutex mutex_;
    ResultViewState state_;
    std::function<void()> stateObserver_;  // guarded by mutex_, called outside it
    ScopedObserver progressObserver_;
    ScopedObserver advancedObserver_;
    ScopedObserver deletedObserver_;
    ResultPages pages_{ui_};
    ResultSearch search_{ui_, pages_};  // after pages_: its workers end first
};

}  // namespace vessamo
