#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "common/SystemLog.h"
#include "sample/SampleICloudDrive.h"
#include "sample/SampleTarArchive.h"
#include "whatsapp/ICloudMediaUnpacker.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

using test::namesIn;

// Every path below a folder that is anything but a plain file or folder.
std::vector<std::string> oddEntriesBelow(const std::string& folder) {
    std::vector<std::string> odd;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const fs::file_status status = entry.symlink_status();
        if (!fs::is_regular_file(status) && !fs::is_directory(status)) {
            odd.push_back(entry.path().string());
        }
    }
    return odd;
}

class ICloudMedia : public ::testing::Test {
protected:
    std::string privateFolder() const {
        return fs::path(fixture.state.tempfilePath).parent_path().parent_path().string();
    }

    test::WhatsAppBackupFixture fixture;
    test::ScopedTemporaryRoot temporary{fixture.home.path() + "/tmp"};
};

TEST_F(ICloudMedia, ArchivesUnpackInOrderIntoAPrivateFolderAndListAllButTopHiddenFiles) {
    auto sample = sample::writeICloudDriveBackup(fixture.home.path());
    ASSERT_TRUE(sample);
    const auto backupBefore = test::treeDigest(sample->backupFolder);

    EXPECT_TRUE(compressWhatsAppMedia(fixture.state, sample->backupFolder).ok());

    const std::string unpacked = fixture.state.tempfilePath;
    ASSERT_FALSE(unpacked.empty());
    EXPECT_EQ(unpacked.back(), '/');
    EXPECT_EQ(fs::path(privateFolder()).parent_path(), fs::path(temporary.path()));
    struct stat info {};
    ASSERT_EQ(::stat(privateFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    for (const auto& [path, content] : sample->unpackedFiles) {
        EXPECT_TRUE(test::readFile(unpacked + path) == content) << path;
    }
    // The later media archive wins for a path both hold.
    const auto original =
        std::find_if(sample->world.mediaFiles.begin(), sample->world.mediaFiles.end(),
                     [&](const sample::SampleMediaFile& file) {
                         return file.relativePath == sample->sharedPath;
                     });
    ASSERT_NE(original, sample->world.mediaFiles.end());
    EXPECT_FALSE(test::readFile(unpacked + sample->sharedPath) == original->content);
    EXPECT_EQ(test::treeDigest(sample->backupFolder), backupBefore);
    EXPECT_EQ(namesIn(temporary.path()),
              std::set<std::string>{fs::path(privateFolder()).filename()});

    EXPECT_TRUE(scanWhatsaAppMedia(fixture.state, sample->backupFolder).ok());
    std::set<std::string> listed;
    const auto& media = fixture.state.index.wpMediaArray;
    for (const KTTreeDirNode& file : media) {
        ASSERT_EQ(file.fileKey.rfind(unpacked, 0), 0u) << file.fileKey;
        EXPECT_EQ(file.filePath, fs::path(file.fileKey.str()).filename().string());
        listed.insert(std::string(file.fileKey.substr(unpacked.size())));
    }
    EXPECT_TRUE(std::is_sorted(media.begin(), media.end(), [](const auto& a, const auto& b) {
        return a.fileKey.view() < b.fileKey.view();
    }));
    std::set<std::string> expected;
    for (const auto& entry : sample->unpackedFiles) {
        expected.insert(entry.first);
    }
    expected.erase(sample->hiddenTop);
    EXPECT_EQ(listed, expected);
    EXPECT_TRUE(listed.count(sample->hiddenDeep));
}

// The unpacked files live as long as whoever holds the folder: the result
// of the scan, after its state is gone.
TEST_F(ICloudMedia, TheUnpackedFilesGoWithTheLastHolderOfTheFolder) {
    auto sample = sample::writeICloudDriveBackup(fixture.home.path());
    ASSERT_TRUE(sample);
    std::shared_ptr<const ScanResult> result;
    std::string unpacked;
    {
        test::ScanRun run;
        ASSERT_TRUE(compressWhatsAppMedia(run.state, sample->backupFolder).ok());
        unpacked = run.state.tempfilePath;
        ASSERT_TRUE(fs::exists(unpacked + sample->sharedPath));
        result = run.state.finish(SourceKind::ICloud, sample->backupFolder);
    }
    EXPECT_EQ(result->tempfilePath, unpacked);
    EXPECT_TRUE(fs::exists(unpacked + sample->sharedPath));
    result.reset();
    EXPECT_FALSE(fs::exists(unpacked));
    EXPECT_TRUE(namesIn(temporary.path()).empty());
}

TEST_F(ICloudMedia, HostileAndBrokenArchivesWriteNothingOutsideAndTheRestUnpacks) {
    const std::string outside = fixture.home.path() + "/outside";
    fs::create_directories(outside);
    test::writeFile(outside + "/victim.txt", "original");
    const std::string folder = fixture.home.path() + "/account/backup";
    fs::create_directories(folder);

    sample::SampleTarArchive good;
    const std::string longName = "Media/" + std::string(150, 'n') + ".jpg";  // a long-name record
    good.addFile("Media/4917012345678@s.whatsapp.net/a/good.jpg", "good").addFile(longName, "long");
    ASSERT_TRUE(good.writeGzip(folder + "/Media.tar"));
    sample::SampleTarArchive escaping;  // tar refuses its escaping members, keeps the rest
    escaping.addFile("Media/kept.jpg", "x")
        .addFile("../../outside/dotdot.txt", "pwned")
        .addFile("Media/../../../outside/nested.txt", "pwned")
        .addSymlink("Media/link", outside)
        .addFile("Media/link/victim.txt", "pwned")
        .addSymlink("Media/up", "../../../outside")
        .addFile("Media/up/up.txt", "pwned");
    ASSERT_TRUE(escaping.writeGzip(folder + "/Media_1.tar"));
    sample::SampleTarArchive odd;  // unpacks cleanly, but only its plain files are taken
    odd.addFile(outside + "/absolute.txt", "inside after all")
        .addSymlink("Media/dangling", "/etc/passwd")
        .addSymlink("Media/sibling", "good.jpg")
        .addFile("Media/doc.pdf", "pdf");
    ASSERT_TRUE(odd.writeGzip(folder + "/Document.tar"));
    sample::SampleTarArchive video;
    video.addFile("Media/clip.mp4", std::string(20000, 'v'));
    const std::string gz = video.gzipBytes();
    test::writeFile(folder + "/Video.tar", gz.substr(0, gz.size() / 2));
    test::writeFile(folder + "/Thumbnail.tar", std::string(4096, 'T'));  // no archive at all
    const auto homeBefore = test::treeDigest(fixture.home.path());

    EXPECT_TRUE(compressWhatsAppMedia(fixture.state, folder).ok());
    EXPECT_TRUE(scanWhatsaAppMedia(fixture.state, folder).ok());

    const std::string unpacked = fixture.state.tempfilePath;
    EXPECT_EQ(test::readFile(outside + "/victim.txt"), "original");
    EXPECT_EQ(namesIn(outside), std::set<std::string>{"victim.txt"});
    EXPECT_EQ(namesIn(temporary.path()),
              std::set<std::string>{fs::path(privateFolder()).filename()});
    // Outside the private folder the user's folder is as it was.
    auto homeAfter = test::treeDigest(fixture.home.path());
    std::erase_if(homeAfter, [](const auto& entry) { return entry.first.rfind("tmp/", 0) == 0; });
    EXPECT_EQ(homeAfter, homeBefore);

    EXPECT_EQ(test::readFile(unpacked + "Media/4917012345678@s.whatsapp.net/a/good.jpg"), "good");
    EXPECT_EQ(test::readFile(unpacked + longName), "long");
    EXPECT_EQ(test::readFile(unpacked + "Media/doc.pdf"), "pdf");
    EXPECT_EQ(test::readFile(unpacked + outside.substr(1) + "/absolute.txt"), "inside after all");
    EXPECT_FALSE(fs::exists(fs::symlink_status(unpacked + "Media/dangling")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(unpacked + "Media/sibling")));
    EXPECT_EQ(test::readFile(unpacked + "Media/kept.jpg"), "x");
    EXPECT_FALSE(fs::exists(unpacked + "Media/clip.mp4"));  // cut short: not kept in part
    EXPECT_TRUE(oddEntriesBelow(privateFolder()).empty());
    EXPECT_EQ(namesIn(privateFolder()), std::set<std::string>{"media"});  // no staging left
    std::set<std::string> damaged;
    for (const Status& problem : fixture.state.problems) {
        EXPECT_TRUE(problem.is(StatusCode::corrupt)) << problem.toString();
        damaged.insert(problem.message().substr(0, problem.message().find(' ')));
    }
    EXPECT_EQ(damaged, (std::set<std::string>{"Media_1.tar", "Video.tar", "Thumbnail.tar"}));
    std::set<std::string> listed;
    for (const KTTreeDirNode& file : fixture.state.index.wpMediaArray) {
        listed.insert(file.filePath);
    }
    EXPECT_EQ(listed,
              (std::set<std::string>{"good.jpg", "kept.jpg", "doc.pdf", longName.substr(6)}));
}

TEST_F(ICloudMedia, AnArchiveThatOutlastsItsTimeIsStoppedAndAddsNothing) {
    const std::string folder = fixture.home.path() + "/slow/backup";
    fs::create_directories(folder);
    sample::SampleTarArchive big;
    big.addFile("Media/big.mp4", std::string(32 << 20, 'b'));
    ASSERT_TRUE(big.writeGzip(folder + "/Video.tar"));
    fixture.state.unpackTimeout = std::chrono::milliseconds(1);
    EXPECT_TRUE(compressWhatsAppMedia(fixture.state, folder).ok());
    ASSERT_EQ(fixture.state.problems.size(), 1u);
    EXPECT_NE(fixture.state.problems[0].message().find("did not finish in time"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(fixture.state.tempfilePath + "Media"));
    EXPECT_EQ(namesIn(privateFolder()), std::set<std::string>{"media"});
}

TEST_F(ICloudMedia, NoArchivesMeansNoMediaFolderAndNothingListed) {
    const std::string folder = fixture.home.path() + "/empty/backup";
    fs::create_directories(folder);
    EXPECT_TRUE(compressWhatsAppMedia(fixture.state, folder).ok());
    EXPECT_EQ(scanWhatsaAppMedia(fixture.state, folder),
              Status::notFound("WhatsAppMessageDB is not exist"));
    EXPECT_TRUE(fixture.state.index.wpMediaArray.empty());
    EXPECT_TRUE(namesIn(fixture.state.tempfilePath).empty());
}

}  // namespace
}  // namespace vessamo
