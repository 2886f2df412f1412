#include "app/ScanRunner.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <iterator>

namespace vessamo {

namespace {

// The working list is not needed once handed over: a first scan of a
// source takes it whole instead of holding two copies at the peak.
template <typename T>
void appendAll(std::vector<T>& to, std::vector<T>& from) {
    if (to.empty()) {
        to.swap(from);
        return;
    }
    to.insert(to.end(), from.begin(), from.end());
}

}  // namespace

bool ScanRunner::start(SourceKind kind, const std::string& folder, KTIOSDeviceNodePtr target,
                       ScanSettings settings) {
    bool idle = false;
    if (!scanning_.compare_exchange_strong(idle, true)) {
        return false;
    }
    if (scanBackFileThreader_.joinable()) {
        scanBackFileThreader_.join();
    }
    state_.resetWorkingCollections(kind != SourceKind::Backup);
    state_.biOS10version = settings.biOS10version;
    state_.bScanDeleted = settings.bScanDeleted;
    // A new scan starts unstopped; the flag of the last stop must not end it.
    state_.bStopScan = false;
    if (!target) {
        target = std::make_shared<KTIOSDeviceNode>();
        target->backUpFilePath = folder;
    }
    scanBackFileThreader_ =
        std::thread([this, kind, folder, target] { run(kind, folder, target); });
    return true;
}

void ScanRunner::wait() {
    if (scanBackFileThreader_.joinable() &&
        scanBackFileThreader_.get_id() != std::this_thread::get_id()) {
        scanBackFileThreader_.join();
    }
}

void ScanRunner::run(SourceKind kind, const std::string& folder, const KTIOSDeviceNodePtr& target) {
    switch (kind) {
        case SourceKind::Backup:
            ScanIOSBackUpFilehand(state_, stages_, folder);
            break;
        case SourceKind::ICloud:
            ScanICloudBackUpFilehand(state_, stages_, folder);
            break;
        case SourceKind::Timeline:
            ScanTimeLineBackUpFilehand(state_, stages_, folder);
            break;
    }
    // A stopped scan is complete too: what it found so far is kept.
    handOver(*target);
    if (kind == SourceKind::Timeline) {
        resultView_.setfullWhatsAppLocation(state_.fullTimelinPath);
    }
    resultView_.ScanThreadFinish(kind == SourceKind::ICloud);
    state_.removeSomeArray();
    returnFreedMemory();
    scanning_ = false;
}

// A large scan frees much of what it held on the way: row queues, database
// caches, lists that grew and moved. Handing those pages back keeps the
// program's footprint at what the results need, and gives later work such
// as an export room without growing past the scan.
void ScanRunner::returnFreedMemory() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

void ScanRunner::handOver(KTIOSDeviceNode& target) {
    appendAll(target.WhatsAppContactArray, state_.wpContactArray);
    appendAll(target.WhatsAppFacContactArray, state_.wpfContactArray);
    appendAll(target.WhatsAppChatArray, state_.wpChatArray);
    appendAll(target.WhatsAppConvChatArray, state_.wpConvChatArray);
    appendAll(target.WhatsAppCallArray, state_.wpCallArray);
    appendAll(target.WhatsAppMediaArray, state_.index.wpMediaArray);
    appendAll(target.WhatsAppResourceArray, state_.wpAttachArray);
    target.bhasScanCompleted = true;
}

}  // namespace vessamo
