#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;
};

// Runs the command-line tool with a user folder of the test's own.
RunResult runCli(const std::string& home, const std::string& arguments) {
    std::string command = "VESSAMO_HOME='" + home + "' '" + VESSAMO_CLI_PATH + "' " + arguments +
                          " 2>" + home + "/stderr.txt";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        result.out.append(buffer, n);
    }
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(Cli, SampleThenListShowsTheBackup) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/x";
    RunResult sample =
        runCli(home.path(), "sample '" + backup + "' --ios 14.3 --name 'Anna iPhone'");
    ASSERT_EQ(sample.exitCode, 0) << test::readFile(home.path() + "/stderr.txt");

    RunResult list = runCli(home.path(), "list --json");
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

    RunResult table = runCli(home.path(), "list");
    EXPECT_NE(table.out.find("Anna iPhone"), std::string::npos);
}

TEST(Cli, OldIosVersionsGetAnMbdbCatalogue) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/old";
    ASSERT_EQ(runCli(home.path(), "sample '" + backup + "' --ios 9.3.5").exitCode, 0);
    EXPECT_TRUE(fs::exists(backup + "/Manifest.mbdb"));
    EXPECT_FALSE(fs::exists(backup + "/Manifest.db"));
}

TEST(Cli, RefusesToWriteIntoAFolderThatHoldsFiles) {
    test::TempHome home;
    const std::string target = home.path() + "/occupied";
    test::writeFile(target + "/keep.txt", "mine");
    RunResult result = runCli(home.path(), "sample '" + target + "'");
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(test::readFile(target + "/keep.txt"), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1);
}

TEST(Cli, EmptyUserFolderListsNothingAndBadArgumentsFail) {
    test::TempHome home;
    RunResult list = runCli(home.path(), "list --json");
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(nlohmann::json::parse(list.out, nullptr, false), nlohmann::json::array());
    EXPECT_NE(runCli(home.path(), "sample").exitCode, 0);
    EXPECT_NE(runCli(home.path(), "sample x --layout zip").exitCode, 0);
    EXPECT_EQ(runCli(home.path(), "list --help").exitCode, 0);
}

}  // namespace
}  // namespace vessamo
