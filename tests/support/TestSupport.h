#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/ScratchFolder.h"
#include "common/UiPort.h"

namespace vessamo::test {

// A fresh user folder for one test, set as VESSAMO_HOME while it lives.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    [[nodiscard]] const std::string& path() const { return folder_.path(); }
    [[nodiscard]] std::string backupRoot() const;

private:
    ScratchFolder folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// Sets TZ for the lifetime of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

// Points $PATH somewhere else for the lifetime of the object.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& path) {
        const char* old = std::getenv("PATH");
        hadPrevious_ = old != nullptr;
        previous_ = old != nullptr ? old : "";
        ::setenv("PATH", path.c_str(), 1);
    }
    ~ScopedPath() {
        if (hadPrevious_) {
            ::setenv("PATH", previous_.c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

// Points the system's temporary folder (TMPDIR) at a folder of the test, so
// what the code under test makes there can be watched. Programs the test
// starts inherit it.
class ScopedTemporaryRoot {
public:
    explicit ScopedTemporaryRoot(std::string path);
    ~ScopedTemporaryRoot();
    ScopedTemporaryRoot(const ScopedTemporaryRoot&) = delete;
    ScopedTemporaryRoot& operator=(const ScopedTemporaryRoot&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    // The names of what is in the folder now.
    [[nodiscard]] std::vector<std::string> entries() const;

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
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
    [[nodiscard]] std::vector<std::string> titles() const;
    [[nodiscard]] std::vector<std::string> revealedPaths() const;

    std::vector<AlertRequest> alerts;
    std::vector<AlertAnswer> scriptedAnswers;  // consumed in order; default answer after
    int accessGuides = 0;
    int backupPanes = 0;
    std::vector<SavePanelRequest> savePanels;
    std::optional<std::string> saveAnswer;  // what every save sheet answers; nullopt cancels
    std::vector<std::string> opened;

private:
    mutable std::recursive_mutex mutex_;  // one "main thread" at a time
    std::vector<std::string> revealed_;
};

[[nodiscard]] std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// SHA-1 of every regular file below a folder, by relative path.
[[nodiscard]] std::map<std::string, std::string> treeDigest(const std::string& folder);
// Whether the real-device data set (tests/data/realdata) holds a file.
[[nodiscard]] bool hasRealData(const std::string& relative);
// Copies a file of the real-device data set into folder (made if missing)
// and gives the copy's path; fails the test when the file is missing. Tests
// open only such copies: even a read-only open of a WAL-mode database
// writes beside it.
[[nodiscard]] std::string copyOfRealData(const std::string& relative, const std::string& folder);

}  // namespace vessamo::test
