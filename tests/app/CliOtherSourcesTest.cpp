#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The chats a person sees: the starred list is a view, not a conversation.
std::set<int> realChats(const json& scan) {
    std::set<int> keys;
    for (const json& chat : scan["conversations"]) {
        if (!chat["isStarredList"].get<bool>()) {
            keys.insert(chat["id"].get<int>());
        }
    }
    return keys;
}

json listed(const std::string& home) {
    return json::parse(test::runTool(home, {"list", "--json"}).out, nullptr, false);
}

TEST(CliOtherSources, AnICloudDriveAccountIsListedScannedAndExportedWithItsMedia) {
    test::TempHome home;
    ASSERT_TRUE(test::writeSample(home.path(), home.path(), {"--kind", "icloud"}));
    const json sources = listed(home.path());
    ASSERT_EQ(sources.size(), 1u) << sources;
    EXPECT_EQ(sources[0]["strBackupType"], "iCloud Backup");
    const std::string backup = sources[0]["backUpFilePath"];
    const auto before = test::treeDigest(backup);

    const json scan = test::scanJson(home.path(), {backup});
    EXPECT_EQ(scan["source"]["kind"], "icloud");
    EXPECT_FALSE(realChats(scan).empty());
    EXPECT_EQ(realChats(scan).size(), scan["conversations"].size());  // no starred list here
    EXPECT_FALSE(scan["messages"].empty());
    EXPECT_EQ(scan["messages"][0]["source"], "icloud");
    EXPECT_FALSE(scan["media"].empty());

    const std::string out = home.path() + "/out";
    const test::CliRun exported =
        test::runTool(home.path(), {"export", backup, "--to", out, "--html", "--kind", "icloud"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_FALSE(fs::is_empty(out + "/Media Files"));  // found in the unpacked archives
    EXPECT_EQ(test::treeDigest(backup), before);
}

// A backup is listed with its record's names, and a Timeline made of its
// scan is listed after it and holds the same chats.
TEST(CliOtherSources, ABackupIsListedAndKeptAsATimelineOfTheSameChats) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/x";
    ASSERT_TRUE(test::writeSample(home.path(), backup, {"--ios", "14.3", "--name", "Anna iPhone"}));
    json sources = listed(home.path());
    ASSERT_EQ(sources.size(), 1u) << sources;
    test::expectFields(sources[0], {{"strBackupType", "iTunes Backup"},
                                    {"strDeviceName", "Anna iPhone"},
                                    {"strIOSVersion", "14.3"},
                                    {"backUpFilePath", backup},
                                    {"beEncrypted", false},
                                    {"deviceIndex", -1},
                                    {"strDeviceType", nullptr}});
    EXPECT_EQ(sources[0]["strDeviceBackUpTime"].get<std::string>().size(),
              16u);  // YYYY-MM-DD hh:mm
    for (const char* key : {"strDeviceSize", "strDeviceSerial", "itunesVersion"}) {
        EXPECT_TRUE(sources[0][key].is_string()) << key;
    }
    EXPECT_TRUE(test::contains(test::runTool(home.path(), {"list"}).out, "Anna iPhone"));

    const test::CliRun created = test::runTool(home.path(), {"timeline", "create", backup});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    std::vector<std::string> made;
    for (const auto& entry :
         fs::directory_iterator(home.path() + "/Library/Application Support/Vessamo")) {
        if (entry.is_directory()) {
            made.push_back(entry.path().string());
        }
    }
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(test::contains(test::runTool(home.path(), {"timeline", "list"}).out,
                               fs::path(made[0]).filename().string()));
    sources = listed(home.path());
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[1]["strBackupType"], "WhatsAppTimeLine");

    const json source = test::scanJson(home.path(), {backup});
    const json timeline = test::scanJson(home.path(), {made[0]});
    EXPECT_EQ(realChats(timeline), realChats(source));
    EXPECT_EQ(timeline["messages"].size(), source["messages"].size());
    EXPECT_FALSE(timeline["media"].empty());
}

TEST(CliOtherSources, ATimelineFolderIsToldFromItsFilesOrByKind) {
    test::TempHome home;
    const std::string folder = home.path() + "/timeline";
    ASSERT_TRUE(test::writeSample(home.path(), folder, {"--kind", "timeline"}));
    const json detected = test::scanJson(home.path(), {folder});
    const json named = test::scanJson(home.path(), {folder, "--kind", "timeline"});
    for (const char* list : {"conversations", "calls", "favorites"}) {
        EXPECT_FALSE(detected[list].empty()) << list;
    }
    EXPECT_EQ(detected["messages"].size(), named["messages"].size());
    test::expectFields(detected["source"],
                       {{"kind", "timeline"}, {"type", "WhatsAppTimeLine"}, {"name", "timeline"}});
    EXPECT_NE(test::runTool(home.path(), {"scan", folder, "--kind", "floppy"}).exitCode, 0);
}

}  // namespace
}  // namespace vessamo
