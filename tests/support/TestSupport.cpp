#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "backup/SHAH.h"
#include "common/Files.h"

namespace vessamo::test {

namespace fs = std::filesystem;

namespace {

ScratchFolder makeFolder(const char* prefix = "vessamo-test-home") {
    auto folder = ScratchFolder::create(prefix);
    if (!folder) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    return std::move(*folder);
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const std::string& value, void (*changed)())
    : name_(name), changed_(changed) {
    if (const char* old = std::getenv(name)) {
        previous_ = old;
    }
    setenv(name, value.c_str(), 1);
    if (changed_ != nullptr) {
        changed_();
    }
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
    if (changed_ != nullptr) {
        changed_();
    }
}

TempHome::TempHome() : folder_(makeFolder()), home_("VESSAMO_HOME", folder_.path()) {}

std::string TempHome::backupRoot() const {
    return path() + "/Library/Application Support/MobileSync/Backup";
}

ScopedTemporaryRoot::ScopedTemporaryRoot(std::string path)
    : path_(std::move(path)), tmpdir_("TMPDIR", path_) {
    fs::create_directories(path_);
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

std::optional<std::string> RecordingUiPort::askPassword(const PasswordRequest& request) {
    std::lock_guard lock(mutex_);
    passwordRequests.push_back(request);
    if (passwordAnswers.empty()) {
        return std::nullopt;
    }
    std::string answer = passwordAnswers.front();
    passwordAnswers.erase(passwordAnswers.begin());
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

std::set<std::string> namesIn(const std::string& folder, bool deep) {
    std::set<std::string> names;
    std::error_code ec;
    if (!deep) {
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
        if (fs::is_regular_file(entry.symlink_status())) {
            names.insert(entry.path().lexically_relative(folder).string());
        }
    }
    return names;
}

std::vector<std::vector<std::string>> queryRows(const std::string& database,
                                                const std::string& sql) {
    const ScratchFolder scratch = makeFolder("vessamo-query");
    const std::string copy = scratch.path() + "/" + fs::path(database).filename().string();
    for (const std::string suffix : {"", "-wal"}) {
        std::error_code ec;
        fs::copy_file(database + suffix, copy + suffix, ec);
    }
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_open_v2(copy.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            const auto* text = sqlite3_column_text(statement, i);
            row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

std::string afterSql(const std::string& bytes, const std::string& sql) {
    const ScratchFolder scratch = makeFolder("vessamo-sql");
    const std::string path = scratch.path() + "/db";
    writeFile(path, bytes);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    return readFile(path);
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
