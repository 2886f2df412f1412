#include "results/KTResultViewController.h"

#include <utility>

namespace vessamo {

namespace {

template <typename T>
T objectAs(const Notification& note, T fallback) {
    if (const T* value = std::any_cast<T>(&note.object)) {
        return *value;
    }
    return fallback;
}

}  // namespace

KTResultViewController::KTResultViewController(UiPort& ui, UserDefaults& defaults,
                                               NotificationCenter& notifications)
    : ui_(ui), defaults_(defaults) {
    progressObserver_ = ScopedObserver(
        notifications, "ScanProgressInfo",
        [this](const Notification& note) { ScanProgressInfomationHandle(objectAs(note, 0)); });
    advancedObserver_ = ScopedObserver(
        notifications, "ScanAnvancedProgressInfo",
        [this](const Notification& note) { ScanAnvancedProgressInfoHandle(objectAs(note, 0)); });
    deletedObserver_ =
        ScopedObserver(notifications, "DelScanWhatsAppInfo", [this](const Notification& note) {
            if (const auto* message = std::any_cast<KTWhatsAppNode>(&note.object)) {
                DelScanWhatsAppInfoHandle(*message);
            }
        });
}

KTResultViewController::~KTResultViewController() = default;

ResultViewState KTResultViewController::state() const {
    std::lock_guard lock(mutex_);
    ResultViewState shown = state_;
    // Formatted on demand: a scan counts every message, a view shows a few.
    if (shown.messagesRead >= 1) {
        shown.messageCountText =
            "The amount of WhatsApp messages:  " + std::to_string(shown.messagesRead);
    }
    return shown;
}

void KTResultViewController::setStateObserver(std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    stateObserver_ = std::move(observer);
}

template <typename Change>
void KTResultViewController::change(Change&& apply) {
    {
        std::lock_guard lock(mutex_);
        apply(state_);
    }
    notifyObserver();
}

// Called outside the lock: the observer reads state() again.
void KTResultViewController::notifyObserver() {
    std::function<void()> observer;
    {
        std::lock_guard lock(mutex_);
        observer = stateObserver_;
    }
    if (observer) {
        observer();
    }
}

// The progress handlers change the guarded state on the scan's own thread
// and never hop to the interface thread: a scan posts its message count
// after every message, and a blocking hop per post would make the
// interface thread the scan's bottleneck. Views redraw from the observer.
void KTResultViewController::ScanProgressInfomationHandle(int percent) {
    change([percent](ResultViewState& state) {
        state.progressValue = percent;
        // A scan that has started never reads as 0%.
        state.percentText = std::to_string(percent == 0 ? 1 : percent) + "%";
    });
}

void KTResultViewController::ScanAnvancedProgressInfoHandle(int messagesRead) {
    change([messagesRead](ResultViewState& state) {
        state.messageCountVisible = true;
        state.stopButtonVisible = true;
        if (messagesRead >= 1) {
            state.messagesRead = messagesRead;
        }
    });
}

void KTResultViewController::DelScanWhatsAppInfoHandle(const KTWhatsAppNode& message) {
    (void)message;
    change([](ResultViewState& state) { ++state.recoveredMessages; });
}

void KTResultViewController::ChangeToScanWhatsAppView() {
    change([](ResultViewState& state) {
        state.page = ResultPage::Scanning;
        state.messagesRead = 0;
        state.recoveredMessages = 0;
        state.progressVisible = true;
        state.progressValue = 0;
        state.percentText = "1%";
        state.stopButtonVisible = true;
        state.categoryButtonsEnabled = false;
        state.stageName.clear();
    });
}

void KTResultViewController::startScanningGIF() {
    change([](ResultViewState& state) { state.scanningAnimation = true; });
}

void KTResultViewController::ChangeToNoiOSBackupView() {
    change([](ResultViewState& state) { state.page = ResultPage::NoBackup; });
}

void KTResultViewController::ChangeToNoiTunesBackupView() {
    change([](ResultViewState& state) { state.page = ResultPage::NoITunesBackup; });
}

void KTResultViewController::ChangeToNoiCloudBackupView() {
    change([](ResultViewState& state) { state.page = ResultPage::NoICloudBackup; });
}

void KTResultViewController::ChangeToNoTimelineBackupView() {
    change([](ResultViewState& state) { state.page = ResultPage::NoTimelineBackup; });
}

void KTResultViewController::ScanStageHandle(std::string_view stage) {
    change([stage](ResultViewState& state) { state.stageName = stage; });
}

void KTResultViewController::setfullWhatsAppLocation(const std::string& folder) {
    change([&folder](ResultViewState& state) { state.fullWhatsAppLocation = folder; });
}

bool KTResultViewController::showCategory(int typeNumber) {
    if (typeNumber < 1 || typeNumber > 5) {
        return false;
    }
    change([typeNumber](ResultViewState& state) {
        state.page = ResultPage::Results;
        state.category = static_cast<ResultCategory>(typeNumber);
    });
    return true;
}

void KTResultViewController::ScanThreadFinish(bool iCloudSource) {
    ui_.runOnMainThreadAndWait([this, iCloudSource] { finishOnMainThread(iCloudSource); });
}

void KTResultViewController::finishOnMainThread(bool iCloudSource) {
    change([](ResultViewState& state) {
        state.scanningAnimation = false;
        state.progressValue = 0;
        state.progressVisible = false;
        state.messageCountVisible = false;
        state.stopButtonVisible = false;
        state.percentText.clear();
        state.categoryButtonsEnabled = true;
        state.stageName.clear();
    });
    // iCloud Drive backups hold media first and foremost.
    showCategory(iCloudSource ? 2 : 1);
    if (!defaults_.boolForKey(kExampleAlertSuppress)) {
        showAdvancedModeTip();
    }
}

void KTResultViewController::showAdvancedModeTip() {
    AlertRequest tip;
    tip.title = "Scan with advanced recovery mode";
    tip.detail =
        "If you don't find deleted chat messages, please select another mode from product menu "
        "-> Preferences... -> Check Scan with advanced recovery mode, and scan again.";
    tip.asSheet = true;
    tip.suppressionLabel = "Do not show this message again";
    AlertAnswer answer = ui_.showAlert(tip);
    if (answer.suppressed) {
        defaults_.setBool(kExampleAlertSuppress, true);
    }
}

void KTResultViewController::ScanThreadErrorHandle() {
    ui_.runOnMainThreadAndWait([this] {
        change([](ResultViewState& state) { state.scanningAnimation = false; });
        AlertRequest failed;
        failed.title =
            "Vessamo failed to read the current iPhone data, please use itunes or Finder for "
            "iPhone backup. Then run Vessamo again to scan WhatsApp data from your iPhone backup.";
        failed.asSheet = true;
        ui_.showAlert(failed);
    });
}

bool KTResultViewController::confirmStop() {
    AlertRequest ask;
    ask.title = "Are you sure you want to Stop the scanning ?";
    ask.buttons = {" Cancel ", " Stop "};
    return ui_.showAlert(ask).button == 1;
}

void KTResultViewController::showSource(ScanResultPtr result) {
    pages_.setSource(std::move(result));
}

bool KTResultViewController::actHome() {
    if (!pages_.actHome()) {
        return false;
    }
    change([](ResultViewState& state) {
        state.page = ResultPage::Start;
        state.category = ResultCategory::None;
    });
    return true;
}

void KTResultViewController::releaseResults() {
    pages_.setSource(nullptr);
    change([](ResultViewState& state) { state.category = ResultCategory::None; });
}

}  // namespace vessamo
