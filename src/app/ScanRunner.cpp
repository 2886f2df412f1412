#include "app/ScanRunner.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <utility>

#include "app/ScanOutcome.h"

namespace vessamo {

// Turns what the scan tells into the notifications the views have always
// observed, on the scan's thread, and keeps the stage names.
class ScanRunner::Reporter : public ScanReporter {
public:
    explicit Reporter(ScanRunner& runner) : runner_(runner) {}

    void stageStarted(std::string_view stage) override {
        {
            const std::lock_guard lock(runner_.mutex_);
            runner_.stagesRun_.emplace_back(stage);
        }
        runner_.resultView_.ScanStageHandle(stage);
    }
    void progress(int percent) override {
        runner_.notifications_.post("ScanProgressInfo", percent);
    }
    void messagesRead(int count) override {
        runner_.notifications_.post("ScanAnvancedProgressInfo", count);
    }
    void recovered(const KTWhatsAppNode& message) override {
        runner_.notifications_.post("DelScanWhatsAppInfo", message);
    }

private:
    ScanRunner& runner_;
};

bool ScanRunner::start(ScanRequest request) {
    if (worker_.running()) {
        return false;
    }
    if (!request.target) {
        request.target = std::make_shared<KTIOSDeviceNode>();
        request.target->backUpFilePath = request.folder;
    }
    {
        const std::lock_guard lock(mutex_);
        stagesRun_.clear();
    }
    return worker_.start([this, request = std::move(request)](std::stop_token stop) {
        run(request, std::move(stop));
    });
}

std::vector<std::string> ScanRunner::stagesRun() const {
    const std::lock_guard lock(mutex_);
    return stagesRun_;
}

void ScanRunner::run(const ScanRequest& request, std::stop_token stop) {
    ScanResultPtr result = [&] {
        Reporter reporter(*this);
        return Scanner::scan(request.folder, request.kind, request.options, std::move(stop),
                             reporter);
    }();
    // A stopped scan is complete too: what it found so far is kept.
    ui_.runOnMainThreadAndWait([&] { handOver(request, result); });
    const ScanOutcome outcome = outcomeOf(*result);
    result.reset();
    resultView_.ScanThreadFinish(request.kind == SourceKind::ICloud);
    tellOutcome(outcome);
    returnFreedMemory();
}

// Damage is said once the results are shown: an empty or short list alone
// would look like a source with nothing (more) in it. A source that simply
// holds nothing shows its empty pages, as it always has.
void ScanRunner::tellOutcome(const ScanOutcome& outcome) {
    if (outcome.damage.empty()) {
        return;
    }
    AlertRequest alert;
    alert.title = outcome.verdict == ScanVerdict::read
                      ? "Some files of this source are damaged; what they hold is not shown."
                      : outcome.warning;
    for (const std::string& line : outcome.damage) {
        alert.detail += (alert.detail.empty() ? "" : "\n") + line;
    }
    ui_.showAlert(alert);
}

// A rescan replaces what the record held: the old result goes once nothing
// else (a view, an export) holds it. The result view gets its lists here,
// before the scan counts as finished, so the category it opens at the end
// has them: the controller's current result stays null until the worker
// has ended.
void ScanRunner::handOver(const ScanRequest& request, const ScanResultPtr& result) {
    request.target->scanResult = result;
    request.target->bhasScanCompleted = true;
    resultView_.showSource(result);
    if (request.kind == SourceKind::Timeline) {
        resultView_.setfullWhatsAppLocation(result->fullTimelinPath);
    }
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

}  // namespace vessamo
