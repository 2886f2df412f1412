#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "backup/KTIOSDeviceNode.h"
#include "backup/ScanPipeline.h"
#include "backup/ScanState.h"
#include "results/KTResultViewController.h"

namespace vessamo {

enum class SourceKind { Backup, ICloud, Timeline };

// The controller's choices a scan takes with it when it starts.
struct ScanSettings {
    bool biOS10version = false;
    bool bScanDeleted = false;
};

// Runs one scan at a time on a worker thread: the source's pipeline, then
// the hand-over of the results to the scanned record and the result view.
class ScanRunner {
public:
    ScanRunner(ScanState& state, const ScanStages& stages, KTResultViewController& resultView)
        : state_(state), stages_(stages), resultView_(resultView) {}
    ~ScanRunner() { wait(); }
    ScanRunner(const ScanRunner&) = delete;
    ScanRunner& operator=(const ScanRunner&) = delete;

    // False, changing nothing, while another scan runs. The results go to
    // target, the record the scan was started for.
    [[nodiscard]] bool start(SourceKind kind, const std::string& folder, KTIOSDeviceNodePtr target,
                             ScanSettings settings);
    [[nodiscard]] bool isScanning() const { return scanning_.load(); }
    void wait();

private:
    void run(SourceKind kind, const std::string& folder, const KTIOSDeviceNodePtr& target);
    void handOver(KTIOSDeviceNode& target);
    static void returnFreedMemory();

    ScanState& state_;
    const ScanStages& stages_;
    KTResultViewController& resultView_;
    std::thread scanBackFileThreader_;
    std::atomic<bool> scanning_{false};
};

}  // namespace vessamo
