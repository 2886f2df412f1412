#include "app/EncryptedBackupPrompt.h"

#include "backup/EncryptedBackup.h"

namespace vessamo {

bool EncryptedBackupPrompt::start(EncryptedBackup backup, std::string deviceName, Steps steps) {
    return worker_.start([this, backup = std::move(backup), name = std::move(deviceName),
                          steps = std::move(steps)](std::stop_token stop) {
        run(backup, name, steps, std::move(stop));
    });
}

void EncryptedBackupPrompt::say(const std::string& text) {
    AlertRequest sheet;
    sheet.title = text;
    sheet.asSheet = true;
    ui_.showAlert(sheet);
}

void EncryptedBackupPrompt::run(const EncryptedBackup& backup, const std::string& deviceName,
                                const Steps& steps, std::stop_token stop) {
    PasswordRequest request{kPasswordSheetTitle, ""};
    if (!deviceName.empty()) {
        request.title = deviceName + ": " + request.title;
    }
    const DerivationProgress progress = [this, &stop](int percent) {
        notifications_.post("ScanProgressInfo", percent);
        return !stop.stop_requested();
    };
    while (!stop.stop_requested()) {
        std::optional<std::string> typed = ui_.askPassword(request);
        if (!typed) {
            say(kEncryptedBackupRefusal);
            return;
        }
        const SecretBytes password = SecretBytes::takeText(*typed);
        if (steps.deriving) {
            ui_.runOnMainThreadAndWait(steps.deriving);
        }
        auto keys = backup.unlock(password.view(), progress);
        if (keys.ok()) {
            ui_.runOnMainThreadAndWait([&] { steps.unlocked(std::move(*keys)); });
            return;
        }
        if (keys.status().is(StatusCode::cancelled)) {
            return;
        }
        if (keys.status().message() != kWrongPasswordText) {
            say(keys.status().message());
            return;
        }
        request.detail = kWrongPasswordText;
    }
}

}  // namespace vessamo
