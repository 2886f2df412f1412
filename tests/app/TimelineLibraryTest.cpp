#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <map>

#include "app/TimelineLibrary.h"
#include "backup/BackupIndexReaders.h"
#include "common/NotificationCenter.h"
#include "common/PlistValue.h"
#include "common/UserPaths.h"
#include "sample/SampleImage.h"
#include "sample/SampleSources.h"
#include "sample/SampleTimeline.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

const std::string kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr std::time_t kWhen = 1642252800;  // 2022-01-15 13:20:00 UTC

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Writes past the limit fail with EFBIG while it lives, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    sighandler_t previousHandler_;
};

class TimelineLibraryTest : public ::testing::Test {
protected:
    std::string timelinePath() const { return UserPaths::timelineFolder(); }

    // The media list of a scanned backup of the given layout.
    std::vector<KTTreeDirNode> scannedMedia(sample::CatalogueLayout layout) {
        const std::string folder = home_.backupRoot() + "/scanned" + std::to_string(++backups_);
        sample::SampleBackupBuilder builder = sample::whatsAppBackup(layout);
        EXPECT_TRUE(builder.write(folder));
        BackupFileIndex index;
        std::atomic<bool> stop{false};
        NotificationCenter center;
        IndexingContext context{index, stop, center};
        if (layout == sample::CatalogueLayout::ManifestDb) {
            scanManifestDBThread(folder, context);
        } else {
            scanDirAnalyThread(folder, context);
        }
        scannedFolder_ = folder;
        return index.wpMediaArray;
    }

    KTTreeDirNode extraFile(const std::string& filePath, const std::string& content) {
        const std::string path = home_.path() + "/extra/" + std::to_string(++extras_);
        test::writeFile(path, content);
        return KTTreeDirNode{"", filePath, path};
    }

    TimelineCopyResult make(TimelineMaker& maker, std::vector<KTTreeDirNode> media) {
        EXPECT_TRUE(
            maker.ClickCreateWhatsAppTimeline(std::move(media), {"Sample Owner", "Busy"}, kWhen));
        maker.wait();
        return maker.lastResult().value_or(TimelineCopyResult{});
    }

    test::TempHome home_;
    test::ScopedTimeZone utc_{"UTC"};
    test::RecordingUiPort ui_;
    std::string scannedFolder_;
    int backups_ = 0;
    int extras_ = 0;
};

TEST_F(TimelineLibraryTest, OnlyVisibleFoldersAreBackups) {
    EXPECT_TRUE(FindWhatsAppTimelineBackup(timelinePath()).empty());  // not even there
    EXPECT_EQ(prepareTimelinePath(), timelinePath());
    ASSERT_TRUE(fs::is_directory(timelinePath()));

    test::writeFile(timelinePath() + "/stray.zip", "a file, not a backup");
    fs::create_directories(timelinePath() + "/.hidden backup");
    fs::create_directories(timelinePath() + "/2022-03-01 - 08.00.00");
    fs::create_directories(timelinePath() + "/2022-01-15 - 13.20.00");

    const auto records = FindWhatsAppTimelineBackup(timelinePath());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->strDeviceName, "2022-01-15 - 13.20.00");
    EXPECT_EQ(records[1]->strDeviceName, "2022-03-01 - 08.00.00");
    EXPECT_EQ(records[0]->backUpFilePath, timelinePath() + "/2022-01-15 - 13.20.00");
    EXPECT_EQ(records[0]->strBackupType, "WhatsAppTimeLine");
}

TEST_F(TimelineLibraryTest, ViewShowsRowsAndTheFirstBackupsAccount) {
    const std::string first = timelinePath() + "/2022-01-15 - 13.20.00";
    ASSERT_TRUE(sample::writeTimelineSample(first).has_value());
    fs::create_directories(timelinePath() + "/2022-02-01 - 09.00.00");

    TimelineViewData view = ClickShowWhatsAppTimeline(timelinePath(), ui_);
    EXPECT_TRUE(ui_.alerts.empty());
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[1]->nodeName, "2022-02-01 - 09.00.00");
    EXPECT_EQ(view.fullTimelinPath, first);
    ASSERT_TRUE(view.account.info);
    EXPECT_EQ(view.account.info->whatsAppContactPath, first + "/photo.jpg");
    EXPECT_EQ(view.account.info->whatsAppNodeName, "Sample Owner");
    EXPECT_EQ(view.account.info->whatsAppCurrentStatus, "Available");
    EXPECT_EQ(view.account.nameLabel, "Name: Sample Owner");
    EXPECT_EQ(view.account.stateLabel, "State: Available");

    // A photo that is no image is not shown; missing preferences leave no labels.
    test::writeFile(first + "/photo.jpg", "not a picture");
    fs::remove(first + "/net.whatsapp.WhatsApp.plist");
    const TimelineAccount bare = getTimelineAccount(first);
    EXPECT_EQ(bare.info->whatsAppContactPath, "");
    EXPECT_EQ(bare.info->whatsAppNodeName, "");
    EXPECT_EQ(bare.nameLabel, "");
}

TEST_F(TimelineLibraryTest, EmptyTimelineOrScanResultTellsHowToMakeOne) {
    TimelineViewData view = ClickShowWhatsAppTimeline(timelinePath(), ui_);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_FALSE(view.account.info);

    TimelineMaker maker(ui_);
    EXPECT_FALSE(maker.ClickCreateWhatsAppTimeline({}, {"Owner", "Status"}, kWhen));
    EXPECT_FALSE(fs::exists(timelinePath()));

    ASSERT_EQ(ui_.alerts.size(), 2u);
    const std::string hint =
        "Please create a WhatsApp Timeline backup, after the scanning of iTunes / iCloud backup "
        "or iPhone device is complete.";
    EXPECT_EQ(ui_.alerts[0].title, "WhatsApp Timeline information wasn't found.");
    EXPECT_EQ(ui_.alerts[1].title,
              "WhatsApp scanning result wasn't found, Can not Create WhatsApp Timeline.");
    for (const AlertRequest& alert : ui_.alerts) {
        EXPECT_EQ(alert.detail, hint);
        EXPECT_EQ(alert.buttons, std::vector<std::string>{" Ok "});
    }
}

TEST_F(TimelineLibraryTest, ShowContentScansTheRowsFolder) {
    KTTimeLineFileNode row;
    row.nodeName = "2022-01-15 - 13.20.00";
    row.nodePath = timelinePath() + "/2022-01-15 - 13.20.00";
    KTIOSDeviceNodePtr record = ClickShowContentAction(row);
    EXPECT_EQ(record->strBackupType, "Timeline BackUp");
    EXPECT_EQ(record->backUpFilePath, *row.nodePath);
}

TEST_F(TimelineLibraryTest, ScanMadeBackupHoldsEveryFileFlatFirstCopyWinning) {
    EXPECT_EQ(timelineFolderName(kWhen), "2022-01-15 - 13.20.00");
    for (auto layout : {sample::CatalogueLayout::ManifestDb, sample::CatalogueLayout::Mbdb}) {
        fs::remove_all(timelinePath());
        std::vector<KTTreeDirNode> media = scannedMedia(layout);
        ASSERT_FALSE(media.empty());
        media.push_back(extraFile("Message/Media/a/clip.jpg", "first"));
        media.push_back(extraFile("Message/Media/b/clip.jpg", "second"));
        media.push_back(
            extraFile("Library/Media/Profile/Photo.JPG", sample::solidColourPng(4, 4, 1, 2, 3)));
        media.push_back(KTTreeDirNode{"", "Message/Media/gone.jpg", home_.path() + "/missing"});

        TimelineMaker maker(ui_);
        const TimelineCopyResult result = make(maker, media);
        ASSERT_TRUE(result.succeeded()) << result.failures.front();
        EXPECT_EQ(result.folder, timelinePath() + "/2022-01-15 - 13.20.00");
        EXPECT_EQ(maker.fullWhatsAppLocation(), result.folder);
        EXPECT_EQ(ui_.alerts.back().title,
                  "WhatsApp Timeline Backup has been created to complete.");

        std::map<std::string, std::string> firstOfName;
        for (const KTTreeDirNode& entry : media) {
            const std::string name = fs::path(entry.filePath).filename().string();
            if (fs::is_regular_file(entry.fileKey) && !firstOfName.count(name)) {
                firstOfName[name] = test::readFile(entry.fileKey);
            }
        }
        for (const auto& [name, content] : firstOfName) {
            EXPECT_EQ(test::readFile(result.folder + "/" + name), content) << name;
        }
        EXPECT_EQ(test::readFile(result.folder + "/clip.jpg"), "first");
        EXPECT_FALSE(fs::exists(result.folder + "/gone.jpg"));
        // Every copied file, and the address book of the scanned backup, is there.
        const std::string addressBook = layout == sample::CatalogueLayout::ManifestDb
                                            ? scannedFolder_ + "/31/" + kAddressBookKey
                                            : scannedFolder_ + "/" + kAddressBookKey;
        EXPECT_EQ(test::readFile(result.folder + "/" + kAddressBookKey),
                  test::readFile(addressBook));
        EXPECT_EQ(namesIn(result.folder).size(), firstOfName.size() + 1);
        EXPECT_EQ(result.filesCopied, firstOfName.size() + 2);  // + photo beside, address book

        // Beside the backups: the account's preferences and photo.
        auto prefs = PlistValue::fromFile(timelinePath() + "/net.whatsapp.WhatsApp.plist");
        ASSERT_TRUE(prefs);
        EXPECT_EQ(prefs->stringFor("FullUserName"), "Sample Owner");
        EXPECT_EQ(prefs->stringFor("CurrentStatusText"), "Busy");
        EXPECT_EQ(test::readFile(timelinePath() + "/photo.jpg"), firstOfName["Photo.JPG"]);
    }
}

TEST_F(TimelineLibraryTest, BackupsOfOneSecondStayApart) {
    std::vector<KTTreeDirNode> first{extraFile("Message/a.jpg", "one")};
    std::vector<KTTreeDirNode> second{extraFile("Message/b.jpg", "two")};
    TimelineMaker maker(ui_);
    const TimelineCopyResult a = make(maker, first);
    // The command line's route, on its own thread, in the same second.
    const TimelineCopyResult b =
        NewWhatsAppTimeLineAction(second, {"Owner", ""}, ui_, kWhen).value_or(TimelineCopyResult{});
    EXPECT_EQ(a.folder, timelinePath() + "/2022-01-15 - 13.20.00");
    EXPECT_EQ(b.folder, timelinePath() + "/2022-01-15 - 13.20.00 (2)");
    EXPECT_EQ(namesIn(a.folder), std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(namesIn(b.folder), std::vector<std::string>{"b.jpg"});
    EXPECT_EQ(FindWhatsAppTimelineBackup(timelinePath()).size(), 2u);
    EXPECT_EQ(ui_.titles(), std::vector<std::string>(2, kTimelineCreated));
}

TEST_F(TimelineLibraryTest, FailedCopyLeavesNoPartialBackup) {
    std::vector<KTTreeDirNode> media{extraFile("Message/small.jpg", "fits"),
                                     extraFile("Message/large.mov", std::string(256 * 1024, 'x')),
                                     extraFile("Message/after.jpg", "never reached")};
    TimelineMaker maker(ui_);
    TimelineCopyResult result;
    {
        FileSizeLimit diskFull(64 * 1024);
        result = make(maker, media);
    }
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.filesCopied, 1u);
    EXPECT_FALSE(fs::exists(result.folder));
    EXPECT_TRUE(FindWhatsAppTimelineBackup(timelinePath()).empty());
    ASSERT_FALSE(ui_.alerts.empty());
    EXPECT_EQ(ui_.alerts.back().title, "WhatsApp Timeline Backup could not be created.");
    EXPECT_NE(ui_.alerts.back().detail.find("large.mov"), std::string::npos);

    // The next backup of that second is whole again.
    const TimelineCopyResult retry = make(maker, media);
    EXPECT_TRUE(retry.succeeded());
    EXPECT_EQ(namesIn(retry.folder).size(), 3u);
}

}  // namespace
}  // namespace vessamo
