#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <map>
#include <set>

#include "app/OrlendoAppDelegate.h"
#include "app/Scanner.h"
#include "app/TimelineLibrary.h"
#include "backup/SHAH.h"
#include "common/Files.h"
#include "common/PlistValue.h"
#include "common/TextConversion.h"
#include "common/UserPaths.h"
#include "sample/SampleImage.h"
#include "sample/SampleSources.h"
#include "sample/SampleTimeline.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using Names = std::set<std::string>;

const std::string kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr std::time_t kWhen = 1642252800;  // 2022-01-15 13:20:00 UTC

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

// A media file of a hand-made result: relative path, and content (nullopt:
// catalogued but gone from the disk).
struct Extra {
    std::string filePath;
    std::optional<std::string> content;
};

class TimelineLibraryTest : public ::testing::Test {
protected:
    std::string timelinePath() const { return UserPaths::timelineFolder(); }

    // A scan of a sample backup of the given layout.
    ScanResultPtr scannedBackup(sample::CatalogueLayout layout) {
        scannedFolder_ = home_.backupRoot() + "/scanned" + std::to_string(++backups_);
        EXPECT_TRUE(sample::whatsAppBackup(layout).write(scannedFolder_));
        ScanReporter quiet;
        return Scanner::scan(scannedFolder_, SourceKind::Backup, {}, {}, quiet);
    }

    // A backup scan's result holding just these media files.
    ScanResultPtr resultWith(const std::vector<Extra>& files,
                             SourceKind kind = SourceKind::Backup) {
        test::ResultFactory factory;
        for (const Extra& file : files) {
            const std::string path = home_.path() + "/extra/" + std::to_string(++extras_);
            if (file.content) {
                test::writeFile(path, *file.content);
            }
            factory.media(file.filePath, path);
        }
        BackupFileIndex& index = factory.state().index;
        if (!index.wpMediaArray.empty()) {
            index.whatsAppFileArray.push_back(index.wpMediaArray.front());
        }
        return factory.finish(kind);
    }

    TimelineCopyResult make(TimelineMaker& maker, ScanResultPtr result) {
        EXPECT_TRUE(maker.ClickCreateWhatsAppTimeline(std::move(result), kWhen));
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
}

TEST_F(TimelineLibraryTest, ViewShowsRowsAndTheFirstBackupsAccount) {
    const std::string first = timelinePath() + "/2022-01-15 - 13.20.00";
    ASSERT_TRUE(sample::writeTimelineSample(first).has_value());
    fs::create_directories(timelinePath() + "/2022-02-01 - 09.00.00");

    TimelineViewData view = ClickShowWhatsAppTimeline(timelinePath(), ui_);
    EXPECT_TRUE(ui_.alerts.empty());
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[1].nodeName, "2022-02-01 - 09.00.00");
    EXPECT_EQ(view.rows[1].nodePath, timelinePath() + "/2022-02-01 - 09.00.00");
    EXPECT_EQ(view.fullTimelinPath, first);
    ASSERT_TRUE(view.account.info);
    EXPECT_EQ(view.account.info->whatsAppContactPath, first + "/photo.jpg");
    EXPECT_EQ(view.account.info->whatsAppNodeName, "Sample Owner");
    EXPECT_EQ(view.account.info->whatsAppCurrentStatus, "Available");
    EXPECT_EQ(view.account.nameLabel, "Name: Sample Owner");
    EXPECT_EQ(view.account.stateLabel, "State: Available");

    // The same photo and preferences reached through links are not read:
    // a Timeline folder is read only through its own regular files.
    const std::string outside = fs::path(timelinePath()).parent_path().string() + "/outside";
    fs::create_directories(outside);
    for (const char* name : {"/photo.jpg", "/net.whatsapp.WhatsApp.plist"}) {
        fs::rename(first + name, outside + name);
        fs::create_symlink(outside + name, first + name);
    }
    const TimelineAccount linked = getTimelineAccount(first);
    EXPECT_EQ(linked.info->whatsAppContactPath, "");
    EXPECT_EQ(linked.info->whatsAppNodeName, "");
    EXPECT_EQ(linked.nameLabel, "");

    // A photo that is no image is not shown; missing preferences leave no labels.
    fs::remove(first + "/photo.jpg");
    test::writeFile(first + "/photo.jpg", "not a picture");
    fs::remove(first + "/net.whatsapp.WhatsApp.plist");
    const TimelineAccount bare = getTimelineAccount(first);
    EXPECT_EQ(bare.info->whatsAppContactPath, "");
    EXPECT_EQ(bare.info->whatsAppNodeName, "");
    EXPECT_EQ(bare.nameLabel, "");
}

// Only a backup scan that found WhatsApp files can be kept as a Timeline.
TEST_F(TimelineLibraryTest, EmptyTimelineOrNoBackupResultTellsHowToMakeOne) {
    TimelineViewData view = ClickShowWhatsAppTimeline(timelinePath(), ui_);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_FALSE(view.account.info);

    TimelineMaker maker(ui_);
    const std::vector<Extra> oneFile{{"Message/a.jpg", "one"}};
    for (const ScanResultPtr& result :
         {ScanResultPtr(), resultWith({}), resultWith(oneFile, SourceKind::ICloud),
          resultWith(oneFile, SourceKind::Timeline)}) {
        EXPECT_FALSE(maker.ClickCreateWhatsAppTimeline(result, kWhen));
    }
    EXPECT_FALSE(fs::exists(timelinePath()));

    ASSERT_EQ(ui_.alerts.size(), 5u);
    EXPECT_EQ(ui_.alerts[0].title, "WhatsApp Timeline information wasn't found.");
    for (size_t i = 0; i < ui_.alerts.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(ui_.alerts[i].title,
                      "WhatsApp scanning result wasn't found, Can not Create WhatsApp Timeline.");
        }
        EXPECT_EQ(ui_.alerts[i].detail,
                  "Please create a WhatsApp Timeline backup, after the scanning of iTunes / "
                  "iCloud backup or iPhone device is complete.");
        EXPECT_EQ(ui_.alerts[i].buttons, std::vector<std::string>{" Ok "});
    }
}

TEST_F(TimelineLibraryTest, ScanMadeBackupKeepsEveryFileUnderItsKeyWithTheAccountBeside) {
    EXPECT_EQ(timelineFolderName(kWhen), "2022-01-15 - 13.20.00");
    for (auto layout : {sample::CatalogueLayout::ManifestDb, sample::CatalogueLayout::Mbdb}) {
        fs::remove_all(timelinePath());
        const ScanResultPtr result = scannedBackup(layout);
        ASSERT_FALSE(result->WhatsAppMediaArray.empty());
        TimelineMaker maker(ui_);
        const TimelineCopyResult copied = make(maker, result);
        ASSERT_TRUE(copied.succeeded()) << copied.failures.front();
        EXPECT_EQ(copied.folder, timelinePath() + "/2022-01-15 - 13.20.00");
        EXPECT_EQ(maker.fullWhatsAppLocation(), copied.folder);
        EXPECT_EQ(ui_.alerts.back().title,
                  "WhatsApp Timeline Backup has been created to complete.");

        // Every file under its key, listed in the kept catalogue in order.
        const std::string kept = copied.folder + "/.backup";
        std::vector<std::vector<std::string>> expectedRows;
        for (const KTTreeDirNode& entry : result->WhatsAppMediaArray) {
            const std::string key = SHAH::hexOf(entry.fileDomain + "-" + entry.filePath);
            EXPECT_EQ(test::readFile(kept + "/" + key.substr(0, 2) + "/" + key),
                      test::readFile(entry.fileKey))
                << entry.filePath;
            expectedRows.push_back({key, entry.fileDomain.str(), entry.filePath.str()});
        }
        EXPECT_EQ(test::queryRows(kept + "/Manifest.db",
                                  "select fileID,domain,relativePath from Files order by rowid"),
                  expectedRows);
        // The address book of the scanned backup is kept too, and under the
        // names a Timeline's own readers look for.
        const std::string addressBook = layout == sample::CatalogueLayout::ManifestDb
                                            ? scannedFolder_ + "/31/" + kAddressBookKey
                                            : scannedFolder_ + "/" + kAddressBookKey;
        EXPECT_EQ(test::readFile(kept + "/31/" + kAddressBookKey), test::readFile(addressBook));
        EXPECT_EQ(test::readFile(copied.folder + "/" + kAddressBookKey),
                  test::readFile(addressBook));
        EXPECT_TRUE(fs::is_regular_file(copied.folder + "/ChatStorage.sqlite"));
        EXPECT_GE(copied.filesCopied, result->WhatsAppMediaArray.size() + 1);

        // Beside the backups and in it: the scanned account's preferences.
        for (const std::string& folder : {timelinePath(), copied.folder}) {
            auto prefs = PlistValue::fromFile(folder + "/net.whatsapp.WhatsApp.plist");
            ASSERT_TRUE(prefs) << folder;
            EXPECT_EQ(prefs->stringFor("FullUserName"), "Sample Owner");
            EXPECT_EQ(prefs->stringFor("CurrentStatusText"), "Available");
        }
    }
}

TEST_F(TimelineLibraryTest, SameNamedFilesAreBothKeptAPhotoGoesBesideAndGoneFilesAreSkipped) {
    const std::string png = sample::solidColourPng(4, 4, 1, 2, 3);
    const ScanResultPtr result = resultWith({{"Message/Media/a/clip.jpg", "first"},
                                             {"Message/Media/b/clip.jpg", "second"},
                                             {"Library/Media/Profile/Photo.JPG", png},
                                             {"Message/Media/gone.jpg", std::nullopt}});
    const std::string parent = timelinePath();
    const std::optional<std::string> folder = createTimelineFolder(parent, "kept");
    ASSERT_TRUE(folder);
    const TimelineCopyResult copied =
        NewTimeLineCopyAllWhatsAppDataThreader(result->WhatsAppMediaArray, *folder, parent);
    ASSERT_TRUE(copied.succeeded()) << copied.failures.front();
    const std::vector<std::vector<std::string>> rows =
        test::queryRows(*folder + "/.backup/Manifest.db", "select relativePath from Files");
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"Message/Media/a/clip.jpg"},
                                                           {"Message/Media/b/clip.jpg"},
                                                           {"Library/Media/Profile/Photo.JPG"}}));
    std::set<std::string> contents;
    for (const std::string& file : namesIn(*folder + "/.backup", true)) {
        if (file != "Manifest.db") {
            contents.insert(test::readFile(*folder + "/.backup/" + file));
        }
    }
    EXPECT_EQ(contents, (Names{"first", "second", png}));
    EXPECT_EQ(test::readFile(*folder + "/photo.jpg"), png);
    EXPECT_EQ(test::readFile(parent + "/photo.jpg"), png);
    EXPECT_EQ(copied.filesCopied, 4u);

    // A stopped copy leaves nothing behind.
    const std::optional<std::string> stoppedFolder = createTimelineFolder(parent, "stopped");
    ASSERT_TRUE(stoppedFolder);
    std::stop_source stop;
    stop.request_stop();
    const TimelineCopyResult stopped = NewTimeLineCopyAllWhatsAppDataThreader(
        result->WhatsAppMediaArray, *stoppedFolder, parent, stop.get_token());
    EXPECT_FALSE(stopped.succeeded());
    EXPECT_FALSE(fs::exists(*stoppedFolder));
}

TEST_F(TimelineLibraryTest, BackupsOfOneSecondStayApart) {
    TimelineMaker maker(ui_);
    const TimelineCopyResult a = make(maker, resultWith({{"Message/a.jpg", "one"}}));
    // The command line's route, on its own thread, in the same second.
    const TimelineCopyResult b =
        NewWhatsAppTimeLineAction(*resultWith({{"Message/b.jpg", "two"}}), ui_, kWhen)
            .value_or(TimelineCopyResult{});
    EXPECT_EQ(a.folder, timelinePath() + "/2022-01-15 - 13.20.00");
    EXPECT_EQ(b.folder, timelinePath() + "/2022-01-15 - 13.20.00 (2)");
    const std::string files = "select relativePath from Files";
    EXPECT_EQ(test::queryRows(a.folder + "/.backup/Manifest.db", files),
              std::vector<std::vector<std::string>>{{"Message/a.jpg"}});
    EXPECT_EQ(test::queryRows(b.folder + "/.backup/Manifest.db", files),
              std::vector<std::vector<std::string>>{{"Message/b.jpg"}});
    EXPECT_EQ(FindWhatsAppTimelineBackup(timelinePath()).size(), 2u);
    EXPECT_EQ(ui_.titles(), std::vector<std::string>(2, kTimelineCreated));
}

TEST_F(TimelineLibraryTest, FailedCopyLeavesNoPartialBackup) {
    const ScanResultPtr result = resultWith({{"Message/small.jpg", "fits"},
                                             {"Message/large.mov", std::string(256 * 1024, 'x')},
                                             {"Message/after.jpg", "never reached"}});
    TimelineMaker maker(ui_);
    TimelineCopyResult copied;
    {
        FileSizeLimit diskFull(64 * 1024);
        copied = make(maker, result);
    }
    EXPECT_FALSE(copied.succeeded());
    EXPECT_EQ(copied.filesCopied, 1u);
    EXPECT_FALSE(fs::exists(copied.folder));
    EXPECT_TRUE(FindWhatsAppTimelineBackup(timelinePath()).empty());
    ASSERT_FALSE(ui_.alerts.empty());
    EXPECT_EQ(ui_.alerts.back().title, "WhatsApp Timeline Backup could not be created.");
    EXPECT_NE(ui_.alerts.back().detail.find("large.mov"), std::string::npos);

    // The next backup of that second is whole again.
    const TimelineCopyResult retry = make(maker, result);
    EXPECT_TRUE(retry.succeeded());
    EXPECT_EQ(
        test::queryRows(retry.folder + "/.backup/Manifest.db", "select fileID from Files").size(),
        3u);
}

// The controller's route: a scan kept as a Timeline, listed, shown with its
// account, and its content scanned as a Timeline source.
TEST_F(TimelineLibraryTest, AScanKeptAsTimelineIsListedAndItsContentScansAsTimeline) {
    NotificationCenter center;
    OrlendoAppDelegate controller(ui_, center, OrlendoAppDelegate::Options{});
    EXPECT_FALSE(controller.ClickCreateWhatsAppTimeline());  // nothing scanned yet
    EXPECT_EQ(ui_.alerts.back().title, kNoScanResult);

    const std::string backup = home_.backupRoot() + "/device";
    ASSERT_TRUE(sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb).write(backup));
    controller.openPanelDidEnd1(backup);
    controller.waitForScan();
    const size_t sourceMessages = controller.currentNode->scanResult->WhatsAppChatArray.size();
    ASSERT_GT(sourceMessages, 0u);
    ASSERT_TRUE(controller.ClickCreateWhatsAppTimeline());
    controller.timelineMaker().wait();
    ASSERT_TRUE(controller.timelineMaker().lastResult());
    EXPECT_TRUE(controller.timelineMaker().lastResult()->succeeded());

    controller.FindWhatsAppTimelineBackup();
    ASSERT_EQ(controller.timeBackupArray.size(), 1u);
    const TimelineViewData view = controller.ClickShowWhatsAppTimeline();
    ASSERT_EQ(view.rows.size(), 1u);
    ASSERT_TRUE(view.account.info);
    EXPECT_EQ(controller.getWhatsAppInfoNode(), view.account.info);

    ASSERT_TRUE(controller.ClickShowContentAction(view.rows[0]));
    controller.waitForScan();
    ASSERT_TRUE(controller.currentNode);
    EXPECT_EQ(controller.currentNode->strBackupType, kBackupTypeTimelineContent);
    ASSERT_TRUE(controller.currentNode->scanResult);
    const ScanResult& timeline = *controller.currentNode->scanResult;
    EXPECT_EQ(timeline.kind, SourceKind::Timeline);
    EXPECT_EQ(controller.resultView().state().fullWhatsAppLocation, view.fullTimelinPath);
    EXPECT_EQ(timeline.WhatsAppChatArray.size(), sourceMessages);
    for (const KTWhatsAppNode& message : timeline.WhatsAppChatArray) {
        EXPECT_TRUE(message.bTimelineNode);
    }
    EXPECT_FALSE(timeline.WhatsAppMediaArray.empty());
    // The scan's account replaces the Timeline view's.
    EXPECT_NE(controller.getWhatsAppInfoNode(), view.account.info);
}

}  // namespace
}  // namespace vessamo
