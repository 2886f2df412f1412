// Damaged and empty sources as a person meets them: one line per damaged
// file, an exit status a script can act on, and unreadable backups listed
// rather than dropped.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/OrlendoAppDelegate.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleSources.h"
#include "sample/SampleTarArchive.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::contains;

constexpr const char* kSharedChat = "7c/7c7fba66680ef796b916b067077cc246adacf01d";

class ScanDamage : public ::testing::Test {
protected:
    // A fresh sample backup of the command line's own making.
    std::string sampleBackup(const std::string& name, std::vector<std::string> extra = {}) {
        const std::string folder = home.backupRoot() + "/" + name;
        EXPECT_TRUE(test::writeSample(home.path(), folder, std::move(extra)));
        return folder;
    }

    test::CliRun scan(const std::string& folder, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"scan", folder};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runTool(home.path(), args);
    }

    test::TempHome home;
};

TEST_F(ScanDamage, AChatDatabaseThatIsNoDatabaseIsNamedAndNothingReadExitsThree) {
    const std::string backup = sampleBackup("notadb");
    test::writeFile(backup + "/" + kSharedChat, std::string(8192, 'G'));
    const test::CliRun run = scan(backup);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_TRUE(contains(run.err, "ChatStorage.sqlite is damaged: file is not a database\n"))
        << run.err;
    EXPECT_TRUE(contains(run.err, "No messages could be read from " + backup)) << run.err;
    EXPECT_TRUE(contains(run.out, "ChatStorage.sqlite is damaged: file is not a database"));

    // The JSON tells the same story, with the same status.
    const test::CliRun json = scan(backup, {"--json"});
    EXPECT_EQ(json.exitCode, 3);
    const auto parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_object());
    EXPECT_TRUE(parsed["messages"].empty());
    EXPECT_TRUE(contains(parsed["problems"].dump(), "ChatStorage.sqlite is damaged"));
}

TEST_F(ScanDamage, AMessageTableWithoutItsColumnsIsDamageNotAnEmptyChat) {
    const std::string backup = sampleBackup("columns");
    const std::string chat = backup + "/" + kSharedChat;
    test::writeFile(
        chat, test::afterSql(test::readFile(chat), "alter table ZWAMESSAGE drop column ZTEXT;"));
    const test::CliRun run = scan(backup);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_TRUE(contains(run.err, "ChatStorage.sqlite is damaged: no such column: ZTEXT"))
        << run.err;
}

// Cut catalogues still give what they name before the cut; the damage is
// said, and with messages read the scan counts as done.
TEST_F(ScanDamage, TruncatedCataloguesAreReportedAsDamaged) {
    const std::string db = sampleBackup("db");
    fs::resize_file(db + "/Manifest.db", 20000);
    const test::CliRun cutDb = scan(db);
    EXPECT_EQ(cutDb.exitCode, 0) << cutDb.err;
    EXPECT_TRUE(contains(cutDb.err, "Manifest.db is damaged: ")) << cutDb.err;

    const std::string mbdb = sampleBackup("mbdb", {"--layout", "mbdb", "--ios", "9.3"});
    fs::resize_file(mbdb + "/Manifest.mbdb", fs::file_size(mbdb + "/Manifest.mbdb") / 2);
    const test::CliRun cutMbdb = scan(mbdb);
    EXPECT_TRUE(contains(cutMbdb.err, "Manifest.mbdb is damaged: its last record is cut short"))
        << cutMbdb.err;

    // A catalogue that is nothing but junk leaves no messages: exit 3.
    test::writeFile(db + "/Manifest.db", std::string(10000, 'Z'));
    fs::remove(db + "/" + kSharedChat);
    fs::remove(db + "/72/724bd3b98b18518b455a87c1f3ac3a0d189c4466");  // the business app's
    const test::CliRun junk = scan(db);
    EXPECT_EQ(junk.exitCode, 3) << junk.err;
    EXPECT_TRUE(contains(junk.err, "Manifest.db is damaged: file is not a database")) << junk.err;
}

// Property lists the scan reads that are there but unreadable: named as
// damaged, while the rest of the backup is read.
TEST_F(ScanDamage, UnreadablePreferencesAndCallArchivesAreDamage) {
    const std::string db = sampleBackup("prefs");
    test::writeFile(db + "/be/be7e71b773c6d7d4114a8acf0529f623f3884bfb", "<plist><dict><key>");
    const test::CliRun prefs = scan(db);
    EXPECT_EQ(prefs.exitCode, 0) << prefs.err;
    EXPECT_TRUE(contains(prefs.err,
                         "group.net.whatsapp.WhatsApp.shared.plist is damaged: it is "
                         "no property list of settings"))
        << prefs.err;

    const std::string mbdb = sampleBackup("calls", {"--layout", "mbdb", "--ios", "9.3"});
    const std::string calls = mbdb + "/21ae65d600415978a2e08e7969270e078247c1b5";
    ASSERT_TRUE(fs::exists(calls));
    test::writeFile(calls, std::string(600, 'C'));
    const test::CliRun broken = scan(mbdb);
    EXPECT_EQ(broken.exitCode, 0) << broken.err;
    EXPECT_TRUE(contains(broken.err, "calls.log is damaged: it is no call archive")) << broken.err;
    EXPECT_TRUE(contains(broken.out, "Calls                   0")) << broken.out;
}

// The bound on what archives unpack is the person's to set; an archive
// past it is named, and what the account holds besides is still read.
TEST_F(ScanDamage, AnICloudArchiveBombIsStoppedAtTheConfiguredBound) {
    const std::string user = home.path() + "/user";
    ASSERT_TRUE(test::writeSample(home.path(), user, {"--kind", "icloud"}));
    const std::string backup =
        user +
        "/Library/Mobile Documents/57T9237FN3~net~whatsapp~WhatsApp/Accounts/4915112345678/backup";
    sample::SampleTarArchive bomb;
    bomb.addFile("Media/zeros.bin", std::string(3 << 20, '\0'));
    ASSERT_TRUE(bomb.writeGzip(backup + "/Video.tar"));
    const test::ScopedEnv bound("VESSAMO_UNPACK_LIMIT_MB", "1");
    const test::CliRun run = scan(backup, {"--kind", "icloud"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "Video.tar was not unpacked: its files ")) << run.err;
    EXPECT_TRUE(contains(run.err, "1 MB a scan may unpack")) << run.err;
    EXPECT_FALSE(contains(run.out, "Messages                0")) << run.out;
}

TEST_F(ScanDamage, SourcesWithoutWhatsAppDataWarnAndExitFour) {
    const std::string empty = home.path() + "/empty";
    fs::create_directories(empty);
    const test::CliRun nothing = scan(empty);
    EXPECT_EQ(nothing.exitCode, 4) << nothing.err;
    EXPECT_TRUE(contains(nothing.err, "Warning: No WhatsApp data was found in " + empty));

    // A backup read as an iCloud Drive folder holds none of what one holds.
    const std::string backup = sampleBackup("device");
    const test::CliRun wrongKind = scan(backup, {"--kind", "icloud"});
    EXPECT_EQ(wrongKind.exitCode, 4) << wrongKind.err;
    EXPECT_TRUE(contains(wrongKind.err, "read as an iCloud Drive backup")) << wrongKind.err;
    // As a Timeline its files are only files.
    const test::CliRun asTimeline = scan(backup, {"--kind", "timeline"});
    EXPECT_EQ(asTimeline.exitCode, 4) << asTimeline.err;

    // The same backup read as what it is gives its data and exit 0.
    const test::CliRun right = scan(backup);
    EXPECT_EQ(right.exitCode, 0) << right.err;
    EXPECT_FALSE(contains(right.err, "Warning")) << right.err;
}

TEST_F(ScanDamage, ListShowsABackupWhosePlistsCannotBeRead) {
    sampleBackup("good");
    const std::string bad = sampleBackup("bad");
    for (const char* plist : {"Info.plist", "Manifest.plist", "Status.plist"}) {
        test::writeFile(bad + "/" + plist, "not a property list");
    }
    const test::CliRun table = test::runTool(home.path(), {"list"});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_TRUE(contains(table.out, home.backupRoot() + "/good\n")) << table.out;
    EXPECT_TRUE(contains(
        table.out, "Unreadable backup " + bad + ": Info.plist and Manifest.plist are damaged"))
        << table.out;

    const test::CliRun json = test::runTool(home.path(), {"list", "--json"});
    const auto parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(parsed.is_array()) << json.out;
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[1]["backUpFilePath"], bad);
    EXPECT_EQ(parsed[1]["problem"]["code"], "damaged");
}

// The desktop application says what the command line says, in an alert
// after the results are shown.
TEST_F(ScanDamage, TheApplicationAlertsOnDamage) {
    const std::string backup = home.backupRoot() + "/device";
    ASSERT_TRUE(sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb).write(backup));
    test::writeFile(backup + "/" + kSharedChat, std::string(8192, 'G'));
    test::RecordingUiPort ui;
    NotificationCenter center;
    OrlendoAppDelegate controller{ui, center, OrlendoAppDelegate::Options{}};
    controller.defaults().setBool(kExampleAlertSuppress, true);
    controller.showIphoneDiskView();
    ASSERT_EQ(controller.GetKTIOSDeviceController().records().size(), 1u);
    controller.KTWhatsAppTypeButtonMouseDownHandle(
        controller.GetKTIOSDeviceController().records()[0], 1);
    controller.waitForScan();
    ASSERT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(ui.alerts[0].title, "No messages could be read from " + backup +
                                      ": the files that hold them are damaged.");
    EXPECT_EQ(ui.alerts[0].detail, "ChatStorage.sqlite is damaged: file is not a database");
}

}  // namespace
}  // namespace vessamo
