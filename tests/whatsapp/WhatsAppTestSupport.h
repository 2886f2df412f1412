#pragma once

#include <any>
#include <string>
#include <vector>

#include "backup/BackupIndexReaders.h"
#include "backup/ScanState.h"
#include "common/NotificationCenter.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleChatStorage.h"
#include "support/TestSupport.h"

namespace vessamo::test {

// A backup made for one test and a scan state to read it with; progress
// posts are recorded.
class WhatsAppBackupFixture {
public:
    explicit WhatsAppBackupFixture(
        sample::CatalogueLayout layout = sample::CatalogueLayout::ManifestDb)
        : builder(layout), state(center) {
        state.biOS10version = layout == sample::CatalogueLayout::ManifestDb;
        observer = ScopedObserver(center, "ScanProgressInfo", [this](const Notification& n) {
            progress.push_back(std::any_cast<int>(n.object));
        });
        counter = ScopedObserver(center, "ScanAnvancedProgressInfo", [this](const Notification& n) {
            counts.push_back(std::any_cast<int>(n.object));
        });
    }

    void addChatDatabase(
        const sample::SampleChatDatabase& database,
        const std::string& domain = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
        const std::string& path = "ChatStorage.sqlite") {
        std::string file = builder.temporaryFile("chat.sqlite");
        ASSERT_TRUE(sample::writeChatStorage(file, database));
        builder.addFileFromDisk(domain, path, file);
    }

    // Writes the backup and reads its catalogue, as a scan starts.
    void writeAndIndex() {
        std::string error;
        ASSERT_TRUE(builder.write(folder, &error)) << error;
        IndexingContext context{state.index, state.bStopScan, state.notifications};
        if (state.biOS10version) {
            scanManifestDBThread(folder, context);
        } else {
            scanDirAnalyThread(folder, context);
        }
        progress.clear();
    }

    TempHome home;
    std::string folder = home.path() + "/backup";
    sample::SampleBackupBuilder builder;
    NotificationCenter center;
    ScanState state;
    std::vector<int> progress;
    std::vector<int> counts;
    ScopedObserver observer;
    ScopedObserver counter;
};

}  // namespace vessamo::test
