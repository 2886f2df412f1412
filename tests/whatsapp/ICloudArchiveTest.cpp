// iCloud Drive media archives that are damaged, uncompressed or made to
// fill the disk, and a scan stopped while tar runs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "common/ChildProcess.h"
#include "sample/SampleTarArchive.h"
#include "whatsapp/ICloudMediaUnpacker.h"
#include "whatsapp/MediaArchive.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

class ICloudArchives : public ::testing::Test {
protected:
    std::string unpack() {
        EXPECT_TRUE(compressWhatsAppMedia(fixture.state, folder).ok());
        return fixture.state.tempfilePath;
    }
    // The problems noted, by their messages.
    std::vector<std::string> problems() const {
        std::vector<std::string> messages;
        for (const Status& problem : fixture.state.problems) {
            messages.push_back(problem.message());
        }
        return messages;
    }

    test::WhatsAppBackupFixture fixture;
    test::ScopedTemporaryRoot temporary{fixture.home.path() + "/tmp"};
    std::string folder = fixture.home.path() + "/account/backup";

    void SetUp() override { fs::create_directories(folder); }
};

TEST_F(ICloudArchives, ADamagedMemberIsPassedOverAndTheRestUnpacked) {
    sample::SampleTarArchive archive;
    archive.addFile("Media/a/first.jpg", "first");
    sample::TarMember broken;
    broken.name = "Media/a/broken.jpg";
    broken.content = "lost";
    broken.damagedHeader = true;
    archive.addMember(broken).addFile("Media/a/third.jpg", "third");
    ASSERT_TRUE(archive.writeGzip(folder + "/Media.tar"));

    const std::string unpacked = unpack();
    EXPECT_EQ(test::readFile(unpacked + "Media/a/first.jpg"), "first");
    EXPECT_EQ(test::readFile(unpacked + "Media/a/third.jpg"), "third");
    EXPECT_FALSE(fs::exists(unpacked + "Media/a/broken.jpg"));
    ASSERT_EQ(problems().size(), 1u);
    EXPECT_EQ(problems()[0].rfind("Media.tar is damaged: ", 0), 0u) << problems()[0];
    EXPECT_TRUE(fixture.state.problems[0].is(StatusCode::corrupt));
}

TEST_F(ICloudArchives, PlainTarIsReadByItsMagicAndOtherBytesAreNamedDamaged) {
    sample::SampleTarArchive plain;
    plain.addFile("Media/plain.jpg", "plain");
    ASSERT_TRUE(plain.writeTar(folder + "/Media.tar"));
    test::writeFile(folder + "/Video.tar", "PK\x03\x04 a zip, not a tar");
    EXPECT_EQ(archiveFormatOfFile(folder + "/Media.tar"), ArchiveFormat::plainTar);
    EXPECT_EQ(archiveFormatOf(
                  std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("\x1f\x8b\x08"), 3)),
              ArchiveFormat::gzipTar);

    const std::string unpacked = unpack();
    EXPECT_EQ(test::readFile(unpacked + "Media/plain.jpg"), "plain");
    EXPECT_EQ(problems(), std::vector<std::string>{
                              "Video.tar is damaged: it is neither a gzip nor a tar archive"});
}

// A bomb is an archive whose files outgrow what a scan may unpack: with
// the bound set low, a few megabytes make one. It keeps nothing; the
// archives within the bound still unpack.
TEST_F(ICloudArchives, AnArchiveThatExpandsPastTheBoundKeepsNothing) {
    sample::SampleTarArchive small;
    small.addFile("Media/small.jpg", std::string(1000, 's'));
    ASSERT_TRUE(small.writeGzip(folder + "/Media.tar"));
    sample::SampleTarArchive bomb;
    bomb.addFile("Media/zeros-1.bin", std::string(2 << 20, '\0'))
        .addFile("Media/zeros-2.bin", std::string(2 << 20, '\0'));
    ASSERT_TRUE(bomb.writeGzip(folder + "/Video.tar"));
    fixture.state.unpackLimit = 1 << 20;

    const std::string unpacked = unpack();
    EXPECT_EQ(test::readFile(unpacked + "Media/small.jpg"), std::string(1000, 's'));
    EXPECT_EQ(test::namesIn(unpacked + "Media"), std::set<std::string>{"small.jpg"});
    ASSERT_EQ(problems().size(), 1u);
    EXPECT_EQ(problems()[0].rfind("Video.tar was not unpacked: its files ", 0), 0u)
        << problems()[0];
    EXPECT_NE(problems()[0].find("1 MB a scan may unpack"), std::string::npos) << problems()[0];
    EXPECT_EQ(test::namesIn(fs::path(unpacked).parent_path().parent_path().string()),
              std::set<std::string>{"media"});
}

TEST_F(ICloudArchives, AStoppedScanUnpacksNothingMore) {
    sample::SampleTarArchive archive;
    archive.addFile("Media/a.jpg", "a");
    ASSERT_TRUE(archive.writeGzip(folder + "/Media.tar"));
    fixture.stopButton.request_stop();
    const std::string unpacked = unpack();
    EXPECT_FALSE(fs::exists(unpacked + "Media"));
    EXPECT_TRUE(problems().empty());
}

// The stop button ends a running child and what it started at once, not
// when the child's time is up.
TEST(ChildProcessStop, KeepGoingFalseKillsTheWholeGroupPromptly) {
    ChildProcess child("/bin/sh", {"-c", "sleep 30 & echo $!; wait"},
                       ChildProcess::Output::capture);
    const auto started = std::chrono::steady_clock::now();
    const ChildProcess::Result result = child.wait(std::chrono::minutes(1), [&] {
        return std::chrono::steady_clock::now() - started < std::chrono::milliseconds(200);
    });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.describeFailure().rfind("was stopped", 0), 0u);
    const std::string grandchild = result.output.substr(0, result.output.find('\n'));
    ASSERT_FALSE(grandchild.empty());
    // Gone, or a zombie waiting for its new parent to reap it: not sleeping.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream stat("/proc/" + grandchild + "/stat");
    std::string pid, name, state;
    if (stat >> pid >> name >> state) {
        EXPECT_EQ(state, "Z");
    }
}

}  // namespace
}  // namespace vessamo
