#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

nlohmann::json scanJson(const std::string& home, std::vector<std::string> args) {
    args.insert(args.begin(), "scan");
    args.push_back("--json");
    const test::CliRun run = test::runTool(home, args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return nlohmann::json::parse(run.out, nullptr, false);
}

// The chats a person sees: the starred list is a view, not a conversation.
std::set<int> realChats(const nlohmann::json& scan) {
    std::set<int> keys;
    for (const auto& chat : scan["conversations"]) {
        if (!chat["bStarredCovMessage"].get<bool>()) {
            keys.insert(chat["chatID"].get<int>());
        }
    }
    return keys;
}

std::string onlySubfolder(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_directory()) {
            found.push_back(entry.path().string());
        }
    }
    return found.size() == 1 ? found[0] : "";
}

TEST(CliOtherSources, AnICloudDriveAccountIsListedScannedAndExportedWithItsMedia) {
    test::TempHome home;
    ASSERT_EQ(test::runTool(home.path(), {"sample", "--kind", "icloud", home.path()}).exitCode, 0);
    const test::CliRun list = test::runTool(home.path(), {"list", "--json"});
    const auto sources = nlohmann::json::parse(list.out, nullptr, false);
    ASSERT_EQ(sources.size(), 1u) << list.out;
    EXPECT_EQ(sources[0]["strBackupType"], "iCloud Backup");
    const std::string backup = sources[0]["backUpFilePath"];
    const auto before = test::treeDigest(backup);

    const nlohmann::json scan = scanJson(home.path(), {backup});
    EXPECT_FALSE(realChats(scan).empty());
    EXPECT_EQ(realChats(scan).size(), scan["conversations"].size());  // no starred list here
    EXPECT_FALSE(scan["messages"].empty());
    EXPECT_FALSE(scan["media"].empty());

    const std::string out = home.path() + "/out";
    const test::CliRun exported =
        test::runTool(home.path(), {"export", backup, "--to", out, "--html", "--kind", "icloud"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_FALSE(fs::is_empty(out + "/Media Files"));  // found in the unpacked archives
    EXPECT_EQ(test::treeDigest(backup), before);
}

TEST(CliOtherSources, ATimelineMadeFromAScanIsListedAndHoldsTheSameChats) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/device";
    ASSERT_EQ(test::runTool(home.path(), {"sample", backup}).exitCode, 0);
    const test::CliRun created = test::runTool(home.path(), {"timeline", "create", backup});
    ASSERT_EQ(created.exitCode, 0) << created.err;

    const std::string timelines = home.path() + "/Library/Application Support/Vessamo";
    const std::string made = onlySubfolder(timelines);
    ASSERT_FALSE(made.empty());
    const test::CliRun listed = test::runTool(home.path(), {"timeline", "list"});
    EXPECT_NE(listed.out.find(fs::path(made).filename().string()), std::string::npos) << listed.out;
    const auto sources =
        nlohmann::json::parse(test::runTool(home.path(), {"list", "--json"}).out, nullptr, false);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[1]["strBackupType"], "WhatsAppTimeLine");

    const nlohmann::json source = scanJson(home.path(), {backup});
    const nlohmann::json timeline = scanJson(home.path(), {made});
    EXPECT_EQ(realChats(timeline), realChats(source));
    EXPECT_EQ(timeline["messages"].size(), source["messages"].size());
    EXPECT_FALSE(timeline["media"].empty());
}

TEST(CliOtherSources, ATimelineFolderIsToldFromItsFilesOrByKind) {
    test::TempHome home;
    const std::string folder = home.path() + "/timeline";
    ASSERT_EQ(test::runTool(home.path(), {"sample", "--kind", "timeline", folder}).exitCode, 0);
    const nlohmann::json detected = scanJson(home.path(), {folder});
    const nlohmann::json named = scanJson(home.path(), {folder, "--kind", "timeline"});
    EXPECT_FALSE(detected["conversations"].empty());
    EXPECT_FALSE(detected["calls"].empty());
    EXPECT_FALSE(detected["favorites"].empty());
    EXPECT_EQ(detected["messages"].size(), named["messages"].size());
    EXPECT_EQ(detected["source"]["strBackupType"], "WhatsAppTimeLine");

    const test::CliRun wrongKind = test::runTool(home.path(), {"scan", folder, "--kind", "floppy"});
    EXPECT_NE(wrongKind.exitCode, 0);
}

}  // namespace
}  // namespace vessamo
