#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/ScratchFolder.h"
#include "common/UiPort.h"

namespace vessamo::test {

// Sets an environment variable for the lifetime of the object; `changed`
// runs after each change (tzset for TZ).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value, void (*changed)() = nullptr);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
    void (*changed_)();
};

// A fresh user folder for one test, set as VESSAMO_HOME while it lives.
class TempHome {
public:
    TempHome();
    [[nodiscard]] const std::string& path() const { return folder_.path(); }
    [[nodiscard]] std::string backupRoot() const;

private:
    ScratchFolder folder_;
    ScopedEnv home_;
};

struct ScopedTimeZone : ScopedEnv {
    explicit ScopedTimeZone(const char* zone) : ScopedEnv("TZ", zone, ::tzset) {}
};

struct ScopedPath : ScopedEnv {
    explicit ScopedPath(const std::string& path) : ScopedEnv("PATH", path) {}
};

// Points the system's temporary folder (TMPDIR) at a folder of the test, so
// what the code under test makes there can be watched. Programs the test
// starts inherit it.
class ScopedTemporaryRoot {
public:
    explicit ScopedTemporaryRoot(std::string path);
    [[nodiscard]] const std::string& path() const { return path_; }
    // The names of what is in the folder now.
    [[nodiscard]] std::vector<std::string> entries() const;

private:
    std::string path_;
    ScopedEnv tmpdir_;
};

// Records every text the core shows and answers with scripted choices.
// Alerts may come from a scan's thread; read them once the scan has ended.
class RecordingUiPort : public UiPort {
public:
    AlertAnswer showAlert(const AlertRequest& request) override;
    void showAccessGuide() override { ++accessGuides; }
    void showBackupPane() override { ++backupPanes; }
    void runOnMainThreadAndWait(const std::function<void()>& work) override;
    std::optional<std::string> chooseSavePath(const SavePanelRequest& request) override;
    void revealInFileViewer(const std::string& path) override;
    void openFile(const std::string& path) override;
    std::optional<std::string> askPassword(const PasswordRequest& request) override;
    [[nodiscard]] std::vector<std::string> titles() const;
    [[nodiscard]] std::vector<std::string> revealedPaths() const;

    std::vector<AlertRequest> alerts;
    std::vector<AlertAnswer> scriptedAnswers;  // consumed in order; default answer after
    int accessGuides = 0;
    int backupPanes = 0;
    std::vector<SavePanelRequest> savePanels;
    std::optional<std::string> saveAnswer;  // what every save sheet answers; nullopt cancels
    std::vector<std::string> opened;
    std::vector<PasswordRequest> passwordRequests;
    std::vector<std::string> passwordAnswers;  // consumed in order; then Cancel

private:
    mutable std::recursive_mutex mutex_;  // one "main thread" at a time
    std::vector<std::string> revealed_;
};

[[nodiscard]] std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// SHA-1 of every regular file below a folder, by relative path.
[[nodiscard]] std::map<std::string, std::string> treeDigest(const std::string& folder);
// The names in a folder; with `deep`, every regular file (not a link)
// below it by its path relative to the folder.
[[nodiscard]] std::set<std::string> namesIn(const std::string& folder, bool deep = false);
// Every row of a query, each column as text ("" for NULL), read with plain
// SQLite, not the product's wrapper, from a private copy of the database
// and its log.
[[nodiscard]] std::vector<std::vector<std::string>> queryRows(const std::string& database,
                                                              const std::string& sql);
// A database's bytes after running sql on a copy of them.
[[nodiscard]] std::string afterSql(const std::string& bytes, const std::string& sql);
// Whether the real-device data set (tests/data/realdata) holds a file.
[[nodiscard]] bool hasRealData(const std::string& relative);
// Copies a file of the real-device data set into folder (made if missing)
// and gives the copy's path; fails the test when the file is missing. Tests
// open only such copies: even a read-only open of a WAL-mode database
// writes beside it.
[[nodiscard]] std::string copyOfRealData(const std::string& relative, const std::string& folder);

}  // namespace vessamo::test
