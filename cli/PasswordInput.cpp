#include "PasswordInput.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "ProgressDisplay.h"
#include "backup/EncryptedBackup.h"
#include "common/Files.h"

namespace vessamo::cli {

namespace {

constexpr uint64_t kPasswordFileLimit = 64 * 1024;
constexpr int kExitRefused = 1;

// Turns echo off on stdin for as long as it lives.
class EchoOff {
public:
    EchoOff() {
        if (tcgetattr(STDIN_FILENO, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

void dropLineEnd(std::string& text) {
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) {
        std::fill(text.begin() + static_cast<std::ptrdiff_t>(end), text.end(), '\0');
        text.resize(end);
    }
}

std::optional<SecretBytes> promptForPassword(std::ostream& err) {
    err << "Backup password: " << std::flush;
    std::string typed;
    {
        EchoOff quiet;
        std::getline(std::cin, typed);
    }
    err << '\n';
    dropLineEnd(typed);
    return SecretBytes::takeText(typed);
}

}  // namespace

std::optional<SecretBytes> readBackupPassword(const std::string& passwordFile, std::ostream& err) {
    if (passwordFile.empty()) {
        if (isatty(STDIN_FILENO) == 0) {
            err << "The backup is encrypted: give its password with --password-file FILE.\n";
            return std::nullopt;
        }
        return promptForPassword(err);
    }
    StatusOr<std::string> bytes = readWholeFile(passwordFile, kPasswordFileLimit);
    if (!bytes.ok()) {
        err << "Cannot read the password file: " << bytes.status().message() << '\n';
        return std::nullopt;
    }
    dropLineEnd(*bytes);
    return SecretBytes::takeText(*bytes);
}

int unlockSource(ScanSource& source, const std::string& passwordFile, std::ostream& err) {
    const std::string& folder = source.record.backUpFilePath;
    if (source.kind != SourceKind::Backup || !EncryptedBackup::isEncrypted(folder)) {
        return 0;
    }
    StatusOr<EncryptedBackup> backup = EncryptedBackup::open(folder);
    if (!backup.ok()) {
        err << backup.status().message() << '\n';
        return kExitRefused;
    }
    std::optional<SecretBytes> password = readBackupPassword(passwordFile, err);
    if (!password) {
        err << "The backup that you selected has been encrypted. Please decrypt this backup "
               "before the scanning.\n";
        return kExitRefused;
    }
    ProgressDisplay progress(err, isatty(STDERR_FILENO) != 0);
    progress.note("Deriving the backup's keys from its password");
    auto keys = backup->unlock(password->view(), [&progress](int percent) {
        progress.show(percent);
        return true;
    });
    progress.finish();
    if (!keys.ok()) {
        err << keys.status().message() << '\n';
        return kExitRefused;
    }
    source.options.backupKeys = std::move(*keys);
    return 0;
}

}  // namespace vessamo::cli
