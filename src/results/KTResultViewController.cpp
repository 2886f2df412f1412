#include "results/KTResultViewController.h"

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

void KTResultViewController::ScanProgressInfomationHandle(int percent) {
    ui_.runOnMainThreadAndWait([this, percent] {
        std::lock_guard lock(mutex_);
        state_.progressValue = percent;
        // A scan that has started never reads as 0%.
        state_.percentText = std::to_string(percent == 0 ? 1 : percent) + "%";
    });
}

void KTResultViewController::ScanAnvancedProgressInfoHandle(int messagesRead) {
    ui_.runOnMainThreadAndWait([this, messagesRead] {
        std::lock_guard lock(mutex_);
        state_.messageCountVisible = true;
        state_.stopButtonVisible = true;
        if (messagesRead >= 1) {
            state_.messagesRead = messagesRead;
        }
    });
}

void KTResultViewController::DelScanWhatsAppInfoHandle(const KTWhatsAppNode& message) {
    (void)message;
    std::lock_guard lock(mutex_);
    ++state_.recoveredMessages;
}

void KTResultViewController::ChangeToScanWhatsAppView() {
    std::lock_guard lock(mutex_);
    state_.page = ResultPage::Scanning;
    state_.messagesRead = 0;
    state_.recoveredMessages = 0;
    state_.progressVisible = true;
    state_.progressValue = 0;
    state_.percentText = "1%";
    state_.stopButtonVisible = true;
    state_.categoryButtonsEnabled = false;
}

void KTResultViewController::startScanningGIF() {
    std::lock_guard lock(mutex_);
    state_.scanningAnimation = true;
}

void KTResultViewController::ChangeToNoiOSBackupView() {
    std::lock_guard lock(mutex_);
    state_.page = ResultPage::NoBackup;
}

void KTResultViewController::setfullWhatsAppLocation(const std::string& folder) {
    std::lock_guard lock(mutex_);
    state_.fullWhatsAppLocation = folder;
}

bool KTResultViewController::showCategory(int typeNumber) {
    if (typeNumber < 1 || typeNumber > 5) {
        return false;
    }
    std::lock_guard lock(mutex_);
    state_.page = ResultPage::Results;
    state_.category = static_cast<ResultCategory>(typeNumber);
    return true;
}

void KTResultViewController::ScanThreadFinish(bool iCloudSource) {
    ui_.runOnMainThreadAndWait([this, iCloudSource] { finishOnMainThread(iCloudSource); });
}

void KTResultViewController::finishOnMainThread(bool iCloudSource) {
    {
        std::lock_guard lock(mutex_);
        state_.scanningAnimation = false;
        state_.progressValue = 0;
        state_.progressVisible = false;
        state_.messageCountVisible = false;
        state_.stopButtonVisible = false;
        state_.percentText.clear();
        state_.categoryButtonsEnabled = true;
    }
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
        {
            std::lock_guard lock(mutex_);
            state_.scanningAnimation = false;
        }
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
    std::lock_guard lock(mutex_);
    state_.page = ResultPage::Start;
    state_.category = ResultCategory::None;
    return true;
}

void KTResultViewController::releaseResults() {
    pages_.setSource(nullptr);
    std::lock_guard lock(mutex_);
    state_.category = ResultCategory::None;
}

}  // namespace vessamo
