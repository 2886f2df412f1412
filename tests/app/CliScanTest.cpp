#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

TEST(CliScan, JsonCarriesTheSourceAndEveryList) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_EQ(test::runTool(home.path(), {"sample", backup}).exitCode, 0);
    auto before = test::treeDigest(backup);

    test::CliRun scan = test::runTool(home.path(), {"scan", backup, "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    auto json = nlohmann::json::parse(scan.out, nullptr, false);
    ASSERT_TRUE(json.is_object()) << scan.out;
    EXPECT_EQ(json["source"]["bhasScanCompleted"], true);
    EXPECT_EQ(json["source"]["strDeviceName"], "Vessamo Sample iPhone");
    EXPECT_EQ(json["account"]["whatsAppNodeName"], "Sample Owner");
    EXPECT_EQ(json["account"]["whatsAppNodeNumber"], "491609876543@s.whatsapp.net");
    for (const char* list :
         {"conversations", "messages", "calls", "contacts", "favorites", "media", "attachments"}) {
        EXPECT_FALSE(json[list].empty()) << list;
    }
    EXPECT_TRUE(json["deletedConversations"].empty());  // no recovery asked for
    // Every conversation counts its messages; together they hold them all
    // once, the starred list apart.
    size_t counted = 0;
    for (const auto& chat : json["conversations"]) {
        if (!chat["bStarredCovMessage"].get<bool>()) {
            counted += chat["messages"].get<size_t>();
        }
    }
    EXPECT_EQ(counted, json["messages"].size());
    // Names come from the phone's address book; sent pictures resolve to files.
    size_t named = 0;
    size_t withFile = 0;
    for (const auto& message : json["messages"]) {
        named += message["messageName"] == "Anna Schmidt" ? 1 : 0;
        if (message["file"].is_string()) {
            ++withFile;
            EXPECT_TRUE(fs::is_regular_file(message["file"].get<std::string>()));
        }
    }
    EXPECT_GT(named, 0u);
    EXPECT_GT(withFile, 0u);
    ASSERT_FALSE(json["media"].empty());
    for (const auto& file : json["media"]) {
        EXPECT_TRUE(fs::is_regular_file(file["fileKey"].get<std::string>()));
        EXPECT_NE(file["fileDomain"].get<std::string>().find("whatsapp"), std::string::npos);
    }
    // Progress went all the way, as plain lines since stderr is no terminal.
    EXPECT_NE(scan.err.find("progress: 100%"), std::string::npos);
    EXPECT_EQ(test::treeDigest(backup), before);
}

TEST(CliScan, CtrlCStopsAndStillReportsWhatWasFound) {
    test::TempHome home;
    const std::string backup = home.path() + "/big";
    ASSERT_EQ(test::runTool(home.path(), {"sample", backup, "--media", "20000"}).exitCode, 0);
    test::CliRun stopped = test::runTool(home.path(), {"scan", backup}, "progress: 1%");
    EXPECT_EQ(stopped.exitCode, 130) << stopped.err;
    EXPECT_NE(stopped.out.find("Scan stopped; partial results"), std::string::npos) << stopped.out;
    auto mediaLine = stopped.out.find("Media files");
    ASSERT_NE(mediaLine, std::string::npos);
    long found = std::stol(stopped.out.substr(stopped.out.find_first_of("0123456789", mediaLine)));
    EXPECT_LT(found, 20000);
}

TEST(CliScan, MissingFolderIsAClearError) {
    test::TempHome home;
    test::CliRun scan = test::runTool(home.path(), {"scan", home.path() + "/nothing-here"});
    EXPECT_EQ(scan.exitCode, 2);
    EXPECT_NE(scan.err.find("Not a folder"), std::string::npos);
}

TEST(CliScan, GarbageFolderScansToEmptyLists) {
    test::TempHome home;
    const std::string junk = home.path() + "/junk";
    test::writeFile(junk + "/Manifest.db", std::string(10000, '\x5A'));
    test::writeFile(junk + "/Manifest.mbdb", "mbdb\x05\x00\xFF");
    test::writeFile(junk + "/Info.plist", "<plist><dict><key>");
    test::CliRun scan = test::runTool(home.path(), {"scan", junk, "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    auto json = nlohmann::json::parse(scan.out, nullptr, false);
    ASSERT_TRUE(json.is_object());
    EXPECT_TRUE(json["media"].empty());
    EXPECT_EQ(json["source"]["backUpFilePath"], junk);
}

}  // namespace
}  // namespace vessamo

namespace vessamo {
namespace {

// The sample's user deleted some messages; recovery finds them and never
// passes a live message off as recovered.
TEST(CliScan, DeletedMessagesComeBackWithoutLiveOnes) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_EQ(test::runTool(home.path(), {"sample", backup}).exitCode, 0);
    test::CliRun plain = test::runTool(home.path(), {"scan", backup, "--json"});
    test::CliRun deep = test::runTool(home.path(), {"scan", backup, "--json", "--deleted"});
    ASSERT_EQ(deep.exitCode, 0) << deep.err;
    auto live = nlohmann::json::parse(plain.out, nullptr, false);
    auto all = nlohmann::json::parse(deep.out, nullptr, false);
    ASSERT_TRUE(live.is_object() && all.is_object());

    std::set<std::tuple<int, std::string, std::string>> liveKeys;
    for (const auto& m : live["messages"]) {
        liveKeys.emplace(m["chatID"].get<int>(), m["messageContent"], m["messageDate"]);
    }
    size_t recovered = 0;
    bool sawDeletedText = false;
    for (const auto& m : all["messages"]) {
        if (!m["bDeleted"].get<bool>()) {
            continue;
        }
        ++recovered;
        EXPECT_EQ(liveKeys.count({m["chatID"].get<int>(), m["messageContent"], m["messageDate"]}),
                  0u);
        // Message 9 of the sample ("Thanks, that helped a lot!") was deleted.
        sawDeletedText |= m["messageContent"] == "Thanks, that helped a lot!";
    }
    EXPECT_GT(recovered, 0u);
    EXPECT_TRUE(sawDeletedText);
    EXPECT_EQ(all["messages"].size() - recovered, live["messages"].size());
}

}  // namespace
}  // namespace vessamo
