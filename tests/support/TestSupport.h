#pragma once

#include <cstdint>
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

// Records every text the core shows and answers with scripted choices.
// Alerts may come from a scan's thread; read them once the scan has ended.
class RecordingUiPort : public UiPort {
public:
    AlertAnswer showAlert(const AlertRequest& request) override;
    void showAccessGuide() override { ++accessGuides; }
    void showBackupPane() override { ++backupPanes; }
    void runOnMainThreadAndWait(const std::function<void()>& work) override;
    [[nodiscard]] std::vector<std::string> titles() const;

    std::vector<AlertRequest> alerts;
    std::vector<AlertAnswer> scriptedAnswers;  // consumed in order; default answer after
    int accessGuides = 0;
    int backupPanes = 0;

private:
    mutable std::recursive_mutex mutex_;  // one "main thread" at a time
};

[[nodiscard]] std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// SHA-1 of every regular file below a folder, by relative path.
[[nodiscard]] std::map<std::string, std::string> treeDigest(const std::string& folder);
// A copy of a file of the real-device data set in a fresh folder of the test.
[[nodiscard]] std::string realDataPath(const std::string& relative);

}  // namespace vessamo::test
