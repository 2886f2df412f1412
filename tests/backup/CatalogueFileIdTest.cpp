// A catalogue row names a data file only by a file key: 40 hex digits. A
// row naming anything else ("../..", a path) reaches no file, is counted,
// and the catalogue is reported as damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "backup/BackupIndexReaders.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";

TEST(CatalogueFileIds, RowsNamedByNoFileKeyAreSkippedAndCounted) {
    test::TempHome home;
    const std::string folder = home.backupRoot() + "/device";
    sample::SampleBackupBuilder builder(sample::CatalogueLayout::ManifestDb);
    builder.addFile(kShared, "ChatStorage.sqlite", "db");
    // A file outside the backup that a followed fileID would reach.
    const std::string outside = home.path() + "/outside";
    test::writeFile(outside, "not the backup's");
    builder.addRawCatalogueRow("../../../../outside", kShared, "ChatStorage.sqlite");
    builder.addRawCatalogueRow(std::string(40, 'g'), kShared, "Contacts.sqlite");
    builder.addRawCatalogueRow("7c7fba66680ef796b916b067077cc246adacf01d/..", kShared, "x");
    ASSERT_TRUE(builder.write(folder));

    test::ScanRun run;
    run.state.biOS10version = true;
    EXPECT_TRUE(run.index(folder).ok());
    const BackupFileIndex& index = run.state.index;
    EXPECT_EQ(index.whatsAppChatPath, "7c7fba66680ef796b916b067077cc246adacf01d");
    ASSERT_EQ(index.whatsAppFileArray.size(), 1u);
    EXPECT_EQ(index.whatsAppFileArray[0].fileKey,
              folder + "/7c/7c7fba66680ef796b916b067077cc246adacf01d");
    ASSERT_EQ(run.state.problems.size(), 1u);
    EXPECT_EQ(run.state.problems[0],
              Status::corrupt(folder + "/Manifest.db is damaged: 3 WhatsApp file(s) named by no "
                                       "valid file key were skipped"));
}

}  // namespace
}  // namespace vessamo
