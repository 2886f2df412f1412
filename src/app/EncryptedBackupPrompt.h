#pragma once

#include <functional>
#include <memory>
#include <string>

#include "backup/EncryptedBackup.h"
#include "backup/KeyBag.h"
#include "common/NotificationCenter.h"
#include "common/UiPort.h"
#include "common/Worker.h"

namespace vessamo {

// Opens an encrypted backup for a scan: asks for its password in a sheet,
// derives the keys on a worker of its own (seconds, by design) with the
// derivation's progress posted as "ScanProgressInfo", asks again after a
// wrong password, and hands the keys to the interface thread. Cancelling
// gives the sheet that the backup is encrypted.
class EncryptedBackupPrompt {
public:
    // Runs on the interface thread once the password was taken, before the
    // derivation, and once the keys are there.
    struct Steps {
        std::function<void()> deriving;
        std::function<void(std::shared_ptr<const BackupKeys>)> unlocked;
    };

    EncryptedBackupPrompt(UiPort& ui, NotificationCenter& notifications)
        : ui_(ui), notifications_(notifications) {}

    // False while an earlier backup is still being opened.
    bool start(EncryptedBackup backup, std::string deviceName, Steps steps);
    [[nodiscard]] bool running() const { return worker_.running(); }
    // The stop button: the derivation ends, and nothing is scanned.
    void requestStop() { worker_.requestStop(); }
    void wait() { worker_.join(); }

private:
    void run(const EncryptedBackup& backup, const std::string& deviceName, const Steps& steps,
             std::stop_token stop);
    void say(const std::string& text);

    UiPort& ui_;
    NotificationCenter& notifications_;
    Worker worker_;  // last: it ends before what it uses goes
};

// Texts of the sheet and of what may follow it.
inline constexpr const char* kEncryptedBackupRefusal =
    "The backup that you selected has been encrypted. Please decrypt this backup before the "
    "scanning.";
inline constexpr const char* kPasswordSheetTitle =
    "This backup is encrypted. Enter the password it was encrypted with to scan it.";

}  // namespace vessamo
