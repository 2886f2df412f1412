#pragma once

#include <string_view>

#include "common/Status.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

// What a running scan tells whoever started it, on the scan's own thread.
// The desktop application turns these into its scan notifications, the
// command line into a progress bar; every method may be left as it is.
class ScanReporter {
public:
    virtual ~ScanReporter() = default;

    // A stage begins, by its name ("scanWhatsAppMessageThread").
    virtual void stageStarted(std::string_view stage) { (void)stage; }
    // The scan's one percentage scale, 0 to 100.
    virtual void progress(int percent) { (void)percent; }
    // The running count of messages read, on the counting sources.
    virtual void messagesRead(int count) { (void)count; }
    // A deleted message was recovered and is shown as it arrives. Its texts
    // live as long as the scan; copy what you keep.
    virtual void recovered(const KTWhatsAppNode& message) { (void)message; }
    // A stage could not read what it looked for. The scan goes on; the
    // status also ends up in the result's problems.
    virtual void problem(std::string_view stage, const Status& status) {
        (void)stage;
        (void)status;
    }
};

}  // namespace vessamo
