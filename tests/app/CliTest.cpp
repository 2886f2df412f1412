#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "sample/SampleVoiceNote.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

TEST(Cli, SamplesFollowTheIosVersionAndBadRequestsFail) {
    test::TempHome home;
    const test::CliRun empty = test::runTool(home.path(), {"list", "--json"});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(nlohmann::json::parse(empty.out, nullptr, false), nlohmann::json::array());
    EXPECT_EQ(test::runTool(home.path(), {"list", "--help"}).exitCode, 0);
    const struct {
        const char* ios;
        const char* catalogue;
        const char* absent;
    } cases[] = {{"14.3", "Manifest.db", "Manifest.mbdb"},
                 {"9.3.5", "Manifest.mbdb", "Manifest.db"}};
    for (const auto& c : cases) {
        const std::string backup = home.path() + "/ios" + c.ios;
        ASSERT_TRUE(test::writeSample(home.path(), backup, {"--ios", c.ios}));
        EXPECT_TRUE(fs::exists(backup + "/" + c.catalogue)) << c.ios;
        EXPECT_FALSE(fs::exists(backup + "/" + c.absent)) << c.ios;
    }
    const std::string occupied = home.path() + "/occupied";
    test::writeFile(occupied + "/keep.txt", "mine");
    EXPECT_NE(test::runTool(home.path(), {"sample", occupied}).exitCode, 0);
    EXPECT_EQ(test::readFile(occupied + "/keep.txt"), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(occupied), fs::directory_iterator()), 1);
    EXPECT_NE(test::runTool(home.path(), {"sample"}).exitCode, 0);
    EXPECT_NE(test::runTool(home.path(), {"sample", "x", "--layout", "zip"}).exitCode, 0);
}

TEST(CliExport, WritesTheChosenExportsAndFailsLoudly) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    const std::string out = home.path() + "/out";
    const test::CliRun run = test::runTool(
        home.path(), {"export", backup, "--to", out, "--html", "--calls", "--chats", "1,2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(out + "/Call History/WhatsApp Call.txt"));
    size_t pages = 0;
    for (const auto& entry : fs::directory_iterator(out + "/Chats")) {
        pages += entry.path().extension() == ".html" ? 1 : 0;
    }
    EXPECT_EQ(pages, 2u);  // only the two chats asked for
    EXPECT_FALSE(fs::exists(out + "/Contact"));

    // A destination that cannot hold folders: every failure is said, and the
    // exit status says so too.
    test::writeFile(home.path() + "/blocked", "a file, not a folder");
    const test::CliRun blocked =
        test::runTool(home.path(), {"export", backup, "--to", home.path() + "/blocked"});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("failed:"), std::string::npos);
    EXPECT_NE(test::runTool(home.path(), {"export", backup, "--to", out, "--chats", "x"}).exitCode,
              0);
}

// The demo's sample backup lives in a temporary user folder of its own;
// the pages must not need it, since it goes when the demo ends.
TEST(CliDemo, LeavesPagesWithRecoveredMessagesAndNoTemporaryFolder) {
    test::TempHome home;
    const test::ScopedTemporaryRoot temporary(home.path() + "/tmp");
    const std::string out = home.path() + "/demo";
    const test::CliRun demo = test::runTool(home.path(), {"demo", "--to", out});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_EQ(temporary.entries(), std::vector<std::string>{});
    EXPECT_NE(demo.out.find("Recovered in chats"), std::string::npos);
    const std::string page = test::readFile(out + "/Chats/Anna Schmidt1.html");
    ASSERT_GE(page.size(), 2u);
    EXPECT_EQ(page.substr(0, 2), std::string("\xFF\xFE", 2));  // UTF-16LE with its mark
    EXPECT_TRUE(fs::is_directory(out + "/Media Files"));
    EXPECT_FALSE(fs::is_empty(out + "/Media Files"));
    EXPECT_TRUE(fs::is_regular_file(out + "/Contact/Anna Schmidt.vcf"));
}

TEST(CliDemo, AFailedDemoLeavesNoTemporaryFolderEither) {
    test::TempHome home;
    const test::ScopedTemporaryRoot temporary(home.path() + "/tmp");
    test::writeFile(home.path() + "/blocked", "a file, not a folder");
    test::CliRun demo = test::runTool(home.path(), {"demo", "--to", home.path() + "/blocked"});
    EXPECT_EQ(demo.exitCode, 1);
    EXPECT_NE(demo.err.find("failed:"), std::string::npos);
    EXPECT_EQ(temporary.entries(), std::vector<std::string>{});
}

TEST(CliConvert, VoiceNotesBecomeWavFilesBesideThem) {
    test::TempHome home;
    if (std::system("command -v opusdec >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "opusdec is not installed";
    }
    const std::string note = home.path() + "/voice note 'one'.opus";
    test::writeFile(note, sample::sampleVoiceNote());
    const test::CliRun run = test::runTool(home.path(), {"convert", note});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string wav = test::readFile(home.path() + "/voice note 'one'.wav");
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_NE(test::runTool(home.path(), {"convert", home.path() + "/missing.opus"}).exitCode, 0);
}

}  // namespace
}  // namespace vessamo
