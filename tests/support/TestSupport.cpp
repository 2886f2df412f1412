#include "support/TestSupport.h"

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "backup/SHAH.h"
#include "common/Files.h"

namespace vessamo::test {

namespace fs = std::filesystem;

namespace {

ScratchFolder makeFolder() {
    auto folder = ScratchFolder::create("vessamo-test-home");
    if (!folder) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    return std::move(*folder);
}

}  // namespace

TempHome::TempHome() : folder_(makeFolder()) {
    if (const char* old = std::getenv("VESSAMO_HOME")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("VESSAMO_HOME", folder_.path().c_str(), 1);
}

TempHome::~TempHome() {
    if (hadPrevious_) {
        setenv("VESSAMO_HOME", previous_.c_str(), 1);
    } else {
        unsetenv("VESSAMO_HOME");
    }
}

std::string TempHome::backupRoot() const {
    return path() + "/Library/Application Support/MobileSync/Backup";
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("TZ", zone, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (hadPrevious_) {
        setenv("TZ", previous_.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

ScopedTemporaryRoot::ScopedTemporaryRoot(std::string path) : path_(std::move(path)) {
    fs::create_directories(path_);
    if (const char* old = std::getenv("TMPDIR")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("TMPDIR", path_.c_str(), 1);
}

ScopedTemporaryRoot::~ScopedTemporaryRoot() {
    if (hadPrevious_) {
        setenv("TMPDIR", previous_.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

std::vector<std::string> ScopedTemporaryRoot::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

void RecordingUiPort::runOnMainThreadAndWait(const std::function<void()>& work) {
    std::lock_guard lock(mutex_);
    work();
}

std::optional<std::string> RecordingUiPort::chooseSavePath(const SavePanelRequest& request) {
    const std::lock_guard lock(mutex_);
    savePanels.push_back(request);
    return saveAnswer;
}

void RecordingUiPort::revealInFileViewer(const std::string& path) {
    const std::lock_guard lock(mutex_);
    revealed_.push_back(path);
}

void RecordingUiPort::openFile(const std::string& path) {
    const std::lock_guard lock(mutex_);
    opened.push_back(path);
}

std::vector<std::string> RecordingUiPort::revealedPaths() const {
    const std::lock_guard lock(mutex_);
    return revealed_;
}

std::vector<std::string> RecordingUiPort::titles() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const AlertRequest& alert : alerts) {
        out.push_back(alert.title);
    }
    return out;
}

AlertAnswer RecordingUiPort::showAlert(const AlertRequest& request) {
    std::lock_guard lock(mutex_);
    alerts.push_back(request);
    if (scriptedAnswers.empty()) {
        return AlertAnswer{};
    }
    AlertAnswer answer = scriptedAnswers.front();
    scriptedAnswers.erase(scriptedAnswers.begin());
    return answer;
}

std::string readFile(const std::string& path) {
    StatusOr<std::string> bytes = readWholeFile(path);
    return bytes.ok() ? std::move(bytes).value() : std::string();
}

// Written in place, not replaced: a test may write into a file whose mode
// or links it set up itself.
void writeFile(const std::string& path, const std::string& bytes) {
    makeFolders(fs::path(path).parent_path().string()).ignore();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::map<std::string, std::string> treeDigest(const std::string& folder) {
    std::map<std::string, std::string> digests;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            digests[fs::relative(entry.path(), folder).string()] =
                SHAH::hexOf(readFile(entry.path().string()));
        }
    }
    return digests;
}

bool hasRealData(const std::string& relative) {
    return fs::is_regular_file(fs::path(VESSAMO_REALDATA_DIR) / relative);
}

std::string copyOfRealData(const std::string& relative, const std::string& folder) {
    const fs::path original = fs::path(VESSAMO_REALDATA_DIR) / relative;
    const fs::path copy = fs::path(folder) / original.filename();
    fs::create_directories(folder);
    // Throws, and so fails the test, when the data set lacks the file.
    fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
    return copy.string();
}

}  // namespace vessamo::test
