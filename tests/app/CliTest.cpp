#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

TEST(Cli, SampleThenListShowsTheBackup) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/x";
    test::CliRun sample =
        test::runTool(home.path(), {"sample", backup, "--ios", "14.3", "--name", "Anna iPhone"});
    ASSERT_EQ(sample.exitCode, 0) << sample.err;

    test::CliRun list = test::runTool(home.path(), {"list", "--json"});
    ASSERT_EQ(list.exitCode, 0);
    auto json = nlohmann::json::parse(list.out, nullptr, false);
    ASSERT_TRUE(json.is_array()) << list.out;
    ASSERT_EQ(json.size(), 1u);
    const auto& source = json[0];
    EXPECT_EQ(source["strBackupType"], "iTunes Backup");
    EXPECT_EQ(source["strDeviceName"], "Anna iPhone");
    EXPECT_EQ(source["strIOSVersion"], "14.3");
    EXPECT_EQ(source["backUpFilePath"], backup);
    EXPECT_EQ(source["beEncrypted"], false);
    EXPECT_EQ(source["deviceIndex"], -1);
    EXPECT_TRUE(source["strDeviceType"].is_null());
    EXPECT_EQ(source["strDeviceBackUpTime"].get<std::string>().size(), 16u);  // YYYY-MM-DD hh:mm
    for (const char* key : {"strDeviceSize", "strDeviceSerial", "itunesVersion"}) {
        EXPECT_TRUE(source[key].is_string()) << key;
    }

    test::CliRun table = test::runTool(home.path(), {"list"});
    EXPECT_NE(table.out.find("Anna iPhone"), std::string::npos);
}

TEST(Cli, OldIosVersionsGetAnMbdbCatalogue) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/old";
    ASSERT_EQ(test::runTool(home.path(), {"sample", backup, "--ios", "9.3.5"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(backup + "/Manifest.mbdb"));
    EXPECT_FALSE(fs::exists(backup + "/Manifest.db"));
}

TEST(Cli, RefusesToWriteIntoAFolderThatHoldsFiles) {
    test::TempHome home;
    const std::string target = home.path() + "/occupied";
    test::writeFile(target + "/keep.txt", "mine");
    test::CliRun result = test::runTool(home.path(), {"sample", target});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(test::readFile(target + "/keep.txt"), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1);
}

TEST(Cli, EmptyUserFolderListsNothingAndBadArgumentsFail) {
    test::TempHome home;
    test::CliRun list = test::runTool(home.path(), {"list", "--json"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(nlohmann::json::parse(list.out, nullptr, false), nlohmann::json::array());
    EXPECT_NE(test::runTool(home.path(), {"sample"}).exitCode, 0);
    EXPECT_NE(test::runTool(home.path(), {"sample", "x", "--layout", "zip"}).exitCode, 0);
    EXPECT_EQ(test::runTool(home.path(), {"list", "--help"}).exitCode, 0);
}

}  // namespace
}  // namespace vessamo
