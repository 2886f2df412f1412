// A destination may hold links and hard links somebody planted there; an
// export writes only inside it, and never into the source it reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::readFile;
using test::runTool;
using test::treeDigest;
using test::writeFile;

class HostileDestination : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::writeSample(home.path(), backup));
        writeFile(outside + "/victim.txt", "keep me");
        outsideBefore = treeDigest(outside);
    }

    test::TempHome home;
    std::string backup = home.path() + "/backup";
    std::string out = home.path() + "/out";
    std::string outside = home.path() + "/outside";
    std::map<std::string, std::string> outsideBefore;
};

TEST_F(HostileDestination, PlantedFolderLinksFailTheirItemsAndNothingLandsElsewhere) {
    fs::create_directories(out);
    fs::create_directory_symlink(outside, out + "/Chats");
    fs::create_directory_symlink(outside, out + "/Media Files");
    const test::CliRun run = runTool(
        home.path(), {"export", backup, "--to", out, "--html", "--text", "--calls", "--all-media"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.err, out + "/Chats is a link or not a folder")) << run.err;
    EXPECT_TRUE(contains(run.err, out + "/Media Files is a link or not a folder")) << run.err;
    EXPECT_EQ(treeDigest(outside), outsideBefore);
    // What had a folder of its own still went out.
    EXPECT_TRUE(fs::is_regular_file(out + "/Call History/WhatsApp Call.txt"));
}

TEST_F(HostileDestination, HardLinkedFilesAreReplacedNotRewritten) {
    const std::vector<std::string> args = {"export",  backup,   "--to",       out,
                                           "--calls", "--text", "--all-media"};
    ASSERT_EQ(runTool(home.path(), args).exitCode, 0);
    const std::string calls = out + "/Call History/WhatsApp Call.txt";
    const std::string callText = readFile(calls);
    std::string media;
    for (const auto& entry : fs::directory_iterator(out + "/Media Files")) {
        if (entry.is_regular_file()) {
            media = entry.path().string();
            break;
        }
    }
    ASSERT_FALSE(media.empty());
    const std::string mediaBytes = readFile(media);
    for (const std::string& planted : {calls, media}) {
        fs::remove(planted);
        ASSERT_EQ(::link((outside + "/victim.txt").c_str(), planted.c_str()), 0);
    }

    const test::CliRun again = runTool(home.path(), args);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(readFile(outside + "/victim.txt"), "keep me");
    EXPECT_EQ(readFile(calls), callText);
    EXPECT_EQ(readFile(media), mediaBytes);
}

TEST_F(HostileDestination, AnExportIntoTheSourceIsRefused) {
    const auto before = treeDigest(backup);
    fs::create_directory_symlink(backup, home.path() + "/shortcut");
    for (const std::string& destination :
         {backup + "/Exports", home.path() + "/shortcut/Exports", home.path()}) {
        const test::CliRun run = runTool(home.path(), {"export", backup, "--to", destination});
        EXPECT_EQ(run.exitCode, 2) << destination;
        // Inside the source is refused before the scan, around it once the
        // scan has found the source's real place: both name the destination.
        EXPECT_TRUE(contains(run.err, "Cannot export") && contains(run.err, destination))
            << run.err;
    }
    EXPECT_EQ(treeDigest(backup), before);
    EXPECT_FALSE(fs::exists(home.path() + "/Chats"));
}

}  // namespace
}  // namespace vessamo
