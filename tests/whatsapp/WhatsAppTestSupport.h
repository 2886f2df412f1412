#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "backup/BackupIndexReaders.h"
#include "backup/ScanState.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleChatStorage.h"
#include "support/TestSupport.h"

namespace vessamo::test {

// What a scan reports, in order.
class RecordingReporter : public ScanReporter {
public:
    void progress(int percent) override {
        progressValues.push_back(percent);
        if (onProgress) {
            onProgress(percent);
        }
    }
    void messagesRead(int count) override { counts.push_back(count); }
    void stageStarted(std::string_view stage) override { stages.emplace_back(stage); }
    void problem(std::string_view, const Status& status) override { problems.push_back(status); }

    std::vector<int> progressValues;
    std::vector<int> counts;
    std::vector<std::string> stages;
    std::vector<Status> problems;
    std::function<void(int)> onProgress;  // called after recording
};

// A scan state with a recording reporter and a stop button of its own.
struct ScanRun {
    RecordingReporter reporter;
    std::stop_source stopButton;
    ScanState state{reporter, stopButton.get_token()};

    [[nodiscard]] const std::vector<int>& progress() const { return reporter.progressValues; }
    void stopAtFirstProgress() {
        reporter.onProgress = [this](int) { stopButton.request_stop(); };
    }
    // Reads the catalogue of state's layout, as a backup scan starts.
    Status index(const std::string& folder) {
        return state.biOS10version ? scanManifestDBThread(state, folder)
                                   : scanDirAnalyThread(state, folder);
    }
};

// A backup made for one test and a scan state to read it with.
class WhatsAppBackupFixture : public ScanRun {
public:
    explicit WhatsAppBackupFixture(
        sample::CatalogueLayout layout = sample::CatalogueLayout::ManifestDb)
        : builder(layout) {
        state.biOS10version = layout == sample::CatalogueLayout::ManifestDb;
    }

    void addChatDatabase(
        const sample::SampleChatDatabase& database,
        const std::string& domain = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
        const std::string& path = "ChatStorage.sqlite") {
        std::string file = builder.temporaryFile("chat.sqlite");
        ASSERT_TRUE(sample::writeChatStorage(file, database));
        builder.addFileFromDisk(domain, path, file);
    }

    // Writes the backup and reads its catalogue, as a scan starts; the
    // catalogue's progress is forgotten.
    void writeAndIndex() {
        std::string error;
        ASSERT_TRUE(builder.write(folder, &error)) << error;
        ASSERT_TRUE(index(folder).ok());
        reporter.progressValues.clear();
    }

    TempHome home;
    std::string folder = home.path() + "/backup";
    sample::SampleBackupBuilder builder;
};

// One field of every record, as strings, for comparing whole lists.
template <typename Record, typename Field>
std::vector<std::string> fieldsOf(const std::vector<Record>& records, Field field) {
    std::vector<std::string> out;
    out.reserve(records.size());
    for (const Record& record : records) {
        out.emplace_back(std::invoke(field, record));
    }
    return out;
}

// A call as phone, type, duration and whole seconds since 2001.
using CallRow = std::tuple<std::string, std::string, std::string, std::optional<int64_t>>;

inline std::vector<CallRow> rowsOf(const std::vector<KTCallHistoryNode>& calls) {
    std::vector<CallRow> rows;
    for (const KTCallHistoryNode& call : calls) {
        rows.emplace_back(call.callPhone, call.callType, call.callDuration,
                          call.callDate ? std::optional(call.callDate->seconds) : std::nullopt);
    }
    return rows;
}

}  // namespace vessamo::test
