#pragma once

#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "app/Scanner.h"
#include "backup/KTIOSDeviceNode.h"
#include "common/NotificationCenter.h"
#include "common/UiPort.h"
#include "common/Worker.h"
#include "results/KTResultViewController.h"

namespace vessamo {

struct ScanOutcome;

// One scan as the controller asks for it: the folder of a source of a kind,
// the choices it takes along, and the record its result goes to.
struct ScanRequest {
    SourceKind kind = SourceKind::Backup;
    std::string folder;
    ScanOptions options;
    KTIOSDeviceNodePtr target;  // a record of the folder is made when null
};

// Runs one scan at a time on a worker: Scanner::scan with the scan
// notifications posted from its thread ("ScanProgressInfo",
// "ScanAnvancedProgressInfo", "DelScanWhatsAppInfo"), then, on the main
// thread, the hand-over of the result to the scanned record, the result
// view's end of the scan, and last an alert when files were damaged.
class ScanRunner {
public:
    ScanRunner(UiPort& ui, NotificationCenter& notifications, KTResultViewController& resultView)
        : ui_(ui), notifications_(notifications), resultView_(resultView) {}
    ScanRunner(const ScanRunner&) = delete;
    ScanRunner& operator=(const ScanRunner&) = delete;

    // False, changing nothing, while another scan runs.
    [[nodiscard]] bool start(ScanRequest request);
    [[nodiscard]] bool isScanning() const { return worker_.running(); }
    // The stop button: the running scan ends early with what it found. The
    // next scan starts unstopped.
    void requestStop() { worker_.requestStop(); }
    // Returns once the current scan (if any) has been handed over.
    void wait() { worker_.join(); }

    // The stages the last scan started, by name, in order.
    [[nodiscard]] std::vector<std::string> stagesRun() const;

private:
    class Reporter;

    void run(const ScanRequest& request, std::stop_token stop);
    void handOver(const ScanRequest& request, const ScanResultPtr& result);
    void tellOutcome(const ScanOutcome& outcome);
    static void returnFreedMemory();

    UiPort& ui_;
    NotificationCenter& notifications_;
    KTResultViewController& resultView_;
    mutable std::mutex mutex_;
    std::vector<std::string> stagesRun_;
    Worker worker_;  // last: it ends before what it uses goes
};

}  // namespace vessamo
