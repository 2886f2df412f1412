#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <any>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "app/OrlendoAppDelegate.h"
#include "app/Scanner.h"
#include "backup/KeyBag.h"
#include "backup/MbdbRecordParser.h"
#include "common/PlistValue.h"
#include "sample/SampleSources.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kRefusal =
    "The backup that you selected has been encrypted. Please decrypt this backup before the "
    "scanning.";
// The group container's chat database, in the two-level layout.
constexpr const char* kChatKey = "7c/7c7fba66680ef796b916b067077cc246adacf01d";

// A user folder with an encrypted backup and its plain twin in the backup
// root, and the system's temporary folder watched.
class EncryptedBackupTest : public ::testing::Test {
protected:
    void make(const std::vector<std::string>& layout) {
        root = home.backupRoot();
        passwordFile = home.path() + "/password.txt";
        test::writeFile(passwordFile, "open sesame\n");
        test::writeFile(home.path() + "/wrong.txt", "open sesame!\n");
        std::vector<std::string> encrypted = layout;
        for (const char* extra :
             {"--password-file", passwordFile.c_str(), "--password-rounds", "2000"}) {
            encrypted.emplace_back(extra);
        }
        ASSERT_TRUE(test::writeSample(home.path(), root + "/plain", layout));
        ASSERT_TRUE(test::writeSample(home.path(), root + "/sealed", encrypted));
    }

    // The scan's JSON with the folders it names made alike: the backup's,
    // and the private copy the files of an encrypted one are read from.
    std::string scanned(const std::string& name) {
        const json result =
            test::scanJson(home.path(), {root + "/" + name, "--password-file", passwordFile});
        std::string text = result.dump(1);
        const std::string folder = root + "/" + name;
        for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
            text.replace(at, folder.size(), "<backup>");
        }
        return std::regex_replace(text, std::regex(temporary.path() + "/vessamo-decrypted-[^/\"]+"),
                                  "<backup>");
    }

    test::TempHome home;
    test::ScopedTemporaryRoot temporary{home.path() + "/tmp"};
    std::string root;
    std::string passwordFile;
};

TEST_F(EncryptedBackupTest, ScansToTheRecordsOfItsPlainTwinInBothCatalogueForms) {
    for (const std::vector<std::string>& layout : {std::vector<std::string>{"--ios", "15.3.1"},
                                                   std::vector<std::string>{"--ios", "9.3.5"}}) {
        SCOPED_TRACE(layout[1]);
        fs::remove_all(home.backupRoot());
        make(layout);
        const auto before = test::treeDigest(root + "/sealed");
        EXPECT_FALSE(test::readFile(root + "/sealed/" +
                                    (layout[1] == "9.3.5"
                                         ? std::string("7c7fba66680ef796b916b067077cc246adacf01d")
                                         : kChatKey))
                         .starts_with("SQLite format 3"));

        const test::CliRun list = test::runTool(home.path(), {"list", "--json"});
        ASSERT_EQ(list.exitCode, 0);
        std::map<std::string, bool> encrypted;
        for (const json& source : json::parse(list.out)) {
            encrypted[fs::path(source["backUpFilePath"].get<std::string>()).filename()] =
                source["beEncrypted"].get<bool>();
        }
        EXPECT_EQ(encrypted, (std::map<std::string, bool>{{"plain", false}, {"sealed", true}}));

        std::string plain = scanned("plain");
        std::string sealed = scanned("sealed");
        ASSERT_TRUE(test::contains(sealed, "\"encrypted\": true"));
        sealed =
            std::regex_replace(sealed, std::regex("\"encrypted\": true"), "\"encrypted\": false");
        EXPECT_TRUE(test::contains(plain, "\"messages\""));
        EXPECT_EQ(sealed, plain);

        // The decrypted copy goes with the scan; the backup is as it was.
        EXPECT_TRUE(temporary.entries().empty());
        EXPECT_EQ(test::treeDigest(root + "/sealed"), before);
    }
}

TEST_F(EncryptedBackupTest, AWrongOrMissingPasswordIsSaidAndNothingIsWritten) {
    make({});
    const std::string sealed = root + "/sealed";
    const auto before = test::treeDigest(sealed);
    const std::string wrong = home.path() + "/wrong.txt";
    const test::CliRun scan =
        test::runTool(home.path(), {"scan", sealed, "--password-file", wrong});
    EXPECT_EQ(scan.exitCode, 1);
    EXPECT_TRUE(test::contains(scan.err, kWrongPasswordText)) << scan.err;
    EXPECT_TRUE(scan.out.empty());

    const std::string out = home.path() + "/out";
    const test::CliRun exported =
        test::runTool(home.path(), {"export", sealed, "--to", out, "--password-file", wrong});
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_TRUE(test::contains(exported.err, kWrongPasswordText));
    EXPECT_FALSE(fs::exists(out));

    if (isatty(STDIN_FILENO) == 0) {  // else the tool would rightly ask at the terminal
        const test::CliRun unasked = test::runTool(home.path(), {"scan", sealed});
        EXPECT_EQ(unasked.exitCode, 1);
        EXPECT_TRUE(test::contains(unasked.err, kRefusal)) << unasked.err;
    }
    EXPECT_TRUE(temporary.entries().empty());
    EXPECT_EQ(test::treeDigest(sealed), before);
}

// Flips one byte of the stored value found in the file's bytes.
void alterInFile(const std::string& path, const std::string& stored, size_t at) {
    std::string bytes = test::readFile(path);
    const size_t found = bytes.find(stored);
    ASSERT_NE(found, std::string::npos) << path;
    bytes[found + at] = static_cast<char>(bytes[found + at] ^ 0x5A);
    test::writeFile(path, bytes);
}

std::vector<std::string> problemsOf(const json& result) {
    std::vector<std::string> messages;
    for (const json& problem : result["problems"]) {
        messages.push_back(problem["message"].get<std::string>());
    }
    return messages;
}

bool anyContains(const std::vector<std::string>& texts, const std::string& part) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& text) { return test::contains(text, part); });
}

TEST_F(EncryptedBackupTest, DamagedKeysAndFilesFailWithAClearMessage) {
    make({"--ios", "9.3.5"});
    const std::string sealed = root + "/sealed";
    const std::string password = passwordFile;
    // A file's wrapped key in Manifest.mbdb.
    const std::string mbdb = test::readFile(sealed + "/Manifest.mbdb");
    MbdbRecordParser parser({reinterpret_cast<const uint8_t*>(mbdb.data()), mbdb.size()});
    ASSERT_TRUE(parser.readHeader());
    std::string chatKey;
    while (auto record = parser.next()) {
        if (record->path == "Documents/ChatStorage.sqlite") {
            chatKey = record->encryptionKey;
        }
    }
    ASSERT_EQ(chatKey.size(), 44u);  // class and a wrapped 32-byte key
    alterInFile(sealed + "/Manifest.mbdb", chatKey, 20);
    // Nothing else holds messages: the scan says it could read none.
    json result = test::scanJson(home.path(), {sealed, "--password-file", password}, 3);
    EXPECT_TRUE(anyContains(problemsOf(result),
                            "ChatStorage.sqlite (" + sealed +
                                "/1b6b187a1b60b9ae8b720c79e2c67f472bab09c0) cannot be decrypted: "
                                "its file key fails its integrity check"))
        << result["problems"].dump();
    EXPECT_TRUE(result["messages"].empty());
    EXPECT_FALSE(result["calls"].empty());  // the other files were read

    // A cut encrypted file, in the Manifest.db form.
    fs::remove_all(root);
    make({});
    const std::string chat = sealed + "/" + kChatKey;
    fs::resize_file(chat, fs::file_size(chat) - 5);
    result = test::scanJson(home.path(), {sealed, "--password-file", password});
    EXPECT_TRUE(anyContains(problemsOf(result), "ChatStorage.sqlite (" + chat +
                                                    ") is damaged: its encrypted data is cut "
                                                    "short or its padding is wrong"))
        << result["problems"].dump();

    // The catalogue's own wrapped key in Manifest.plist.
    auto manifest = PlistValue::fromFile(sealed + "/Manifest.plist");
    ASSERT_TRUE(manifest && manifest->find("ManifestKey") &&
                manifest->find("ManifestKey")->asData());
    const PlistValue::Bytes* key = manifest->find("ManifestKey")->asData();
    alterInFile(sealed + "/Manifest.plist", std::string(key->begin(), key->end()), 30);
    result = test::scanJson(home.path(), {sealed, "--password-file", password}, 3);
    EXPECT_EQ(problemsOf(result),
              std::vector<std::string>{sealed +
                                       "/Manifest.db cannot be decrypted: its file key fails its "
                                       "integrity check"});
    EXPECT_TRUE(result["conversations"].empty());
    EXPECT_TRUE(temporary.entries().empty());
}

}  // namespace
}  // namespace vessamo

namespace vessamo {
namespace {

// The desktop application's way: a sheet asks for the password, a wrong
// one is said and asked again, Cancel gives the refusal.
TEST(EncryptedBackupController, AsksAgainAfterAWrongPasswordAndScansWithTheRightOne) {
    test::TempHome home;
    test::RecordingUiPort ui;
    NotificationCenter center;
    std::vector<int> progress;
    ScopedObserver observer(center, "ScanProgressInfo", [&](const Notification& note) {
        progress.push_back(std::any_cast<int>(note.object));
    });
    OrlendoAppDelegate controller{ui, center, OrlendoAppDelegate::Options{}};
    controller.defaults().setBool(kExampleAlertSuppress, true);
    sample::SampleEncryptionOptions encryption;
    encryption.password = "p4ss word";
    encryption.dataProtectionRounds = 200'000;  // a few progress reports
    ASSERT_TRUE(sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb)
                    .encryptWith(encryption)
                    .write(home.backupRoot() + "/a-sealed"));
    ASSERT_TRUE(
        sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb).write(home.path() + "/plain"));
    controller.showIphoneDiskView();
    const KTIOSDeviceNodePtr record = controller.GetKTIOSDeviceController().records().at(0);
    ASSERT_TRUE(record->beEncrypted);

    ui.passwordAnswers = {"p4ss w0rd", "p4ss word"};
    controller.KTWhatsAppTypeButtonMouseDownHandle(record, 1);
    controller.waitForScan();
    ASSERT_EQ(ui.passwordRequests.size(), 2u);
    EXPECT_EQ(ui.passwordRequests[0].detail, "");
    EXPECT_EQ(ui.passwordRequests[1].detail, kWrongPasswordText);
    EXPECT_TRUE(ui.alerts.empty()) << ui.titles().front();
    ASSERT_TRUE(record->bhasScanCompleted && record->scanResult);
    EXPECT_GT(std::count(progress.begin(), progress.end(), 100), 0)  // the derivation's end
        << testing::PrintToString(progress);

    ScanReporter quiet;
    const ScanResultPtr plain =
        Scanner::scan(home.path() + "/plain", SourceKind::Backup, {}, std::stop_token(), quiet);
    const ScanResult& sealed = *record->scanResult;
    EXPECT_EQ(sealed.WhatsAppChatArray.size(), plain->WhatsAppChatArray.size());
    EXPECT_EQ(sealed.WhatsAppContactArray.size(), plain->WhatsAppContactArray.size());
    EXPECT_EQ(sealed.WhatsAppMediaArray.size(), plain->WhatsAppMediaArray.size());
    EXPECT_TRUE(sealed.problems.empty());
    ASSERT_FALSE(sealed.WhatsAppMediaArray.empty());
    // Media are read from the private copy for as long as the result lives.
    const std::string media = sealed.WhatsAppMediaArray.front().fileKey;
    EXPECT_EQ(test::readFile(media),
              test::readFile(home.path() + "/plain/" + media.substr(media.size() - 43)));

    // Cancel: the refusal, and no scan.
    record->bhasScanCompleted = false;
    record->scanResult.reset();
    controller.KTWhatsAppTypeButtonMouseDownHandle(record, 1);
    controller.waitForScan();
    EXPECT_EQ(ui.titles(), std::vector<std::string>{kEncryptedBackupRefusal});
    EXPECT_FALSE(record->scanResult);
}

}  // namespace
}  // namespace vessamo
