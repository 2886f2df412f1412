// What the interface reads of running exports: each export's own count
// against what it will handle, its end with the folder it showed, and the
// view's exported-items counter, live while a counting export runs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/OrlendoAppDelegate.h"
#include "support/QueuedUiPort.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using namespace std::chrono_literals;

class ExportProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        factory.chat(1, "Ana", "491700000001");
        factory.message(1, "hello", Direction::Receive, AppleTime{660000000});
        factory.chat(2, "Ben", "491700000002");
        factory.message(2, "hi", Direction::Send, AppleTime{660000060});
        for (const char* name : {"Anna", "Ben", "Carla"}) {
            factory.contact(name, "+49 170 1111111");
        }
        factory.favourite("Dora", "491703333333@s.whatsapp.net");
        photo = home.path() + "/backup/photo.jpg";
        test::writeFile(photo, std::string(512, 'p'));
        factory.media("Message/Media/491700000001@s.whatsapp.net/a/photo.jpg", photo);

        auto record = std::make_shared<KTIOSDeviceNode>();
        record->backUpFilePath = home.path() + "/backup";
        record->scanResult = factory.finish(SourceKind::Backup, record->backUpFilePath);
        record->bhasScanCompleted = true;
        controller.currentNode = record;
        controller.showScannedResults();
        ui.saveAnswer = out;
    }

    void TearDown() override { settle(); }

    void settle() {
        for (int i = 0; i < 20000 && commands().isExporting(); ++i) {
            ui.pump();
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(commands().isExporting());
    }

    ResultExportCommands& commands() { return controller.exportCommands(); }
    ResultPages& pages() { return controller.resultView().pages(); }

    test::TempHome home;
    std::string out = home.path() + "/out";
    std::string photo;
    test::ResultFactory factory;
    test::QueuedUiPort ui;
    NotificationCenter center;
    OrlendoAppDelegate controller{ui, center, OrlendoAppDelegate::Options{}};
};

TEST_F(ExportProgressTest, ACountingExportIsCountedLiveOnceAndEndsWithItsFolder) {
    EXPECT_EQ(commands().lastStartedExport(), 0u);
    EXPECT_FALSE(commands().progressOf(1).has_value());
    ASSERT_TRUE(commands().KTExportButtonMouseDownHandle(ExportButton::exportContactBtn));
    const uint64_t id = commands().lastStartedExport();
    ASSERT_EQ(id, 1u);

    // Its last step waits for the interface to show the folder: every item
    // is handled, the export is not finished, and the view's counter has them.
    ui.waitForQueued(1);
    std::optional<ExportProgress> running = commands().progressOf(id);
    ASSERT_TRUE(running.has_value());
    EXPECT_EQ(running->button, ExportButton::exportContactBtn);
    EXPECT_EQ(running->destination, out);
    EXPECT_EQ(running->total, 3);
    EXPECT_EQ(running->done, 3);
    EXPECT_FALSE(running->finished);
    EXPECT_TRUE(running->revealed.empty());
    EXPECT_EQ(commands().recovredFilesNum(), 3);

    settle();
    const std::optional<ExportProgress> done = commands().progressOf(id);
    ASSERT_TRUE(done.has_value());
    EXPECT_TRUE(done->finished);
    EXPECT_EQ(done->revealed, out + "/Contact");
    EXPECT_EQ(done->filesWritten, 3u);
    EXPECT_EQ(done->failures, 0u);
    EXPECT_EQ(commands().recovredFilesNum(), 3);  // not counted twice at the end
    EXPECT_EQ(ui.revealedPaths(), std::vector<std::string>{out + "/Contact"});
}

TEST_F(ExportProgressTest, EveryStartedExportIsListedInOrderAndCancelledOnesAreNot) {
    ASSERT_TRUE(commands().KTExportButtonMouseDownHandle(ExportButton::exportFavContactBtn));
    settle();
    ui.saveAnswer.reset();  // the person cancels the sheet
    EXPECT_FALSE(commands().KTExportButtonMouseDownHandle(ExportButton::exportCallBtn));
    EXPECT_EQ(commands().lastStartedExport(), 1u);

    ui.saveAnswer = out;
    pages().actClickResource();
    ASSERT_TRUE(commands().KTExportButtonMouseDownHandle(ExportButton::exportAllPhotosBtn));
    settle();

    const std::vector<ExportProgress> all = commands().exportProgress();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].id, 1u);
    EXPECT_EQ(all[0].button, ExportButton::exportFavContactBtn);
    EXPECT_EQ(all[0].total, 1);
    EXPECT_EQ(all[1].id, 2u);
    EXPECT_EQ(all[1].button, ExportButton::exportAllPhotosBtn);
    // The media exports name no count ahead: a busy bar, then what was written.
    EXPECT_EQ(all[1].total, 0);
    EXPECT_TRUE(all[1].finished);
    EXPECT_EQ(all[1].filesWritten, 1u);
    EXPECT_EQ(all[1].revealed, out + "/Media Files/Photos");
    EXPECT_EQ(test::readFile(out + "/Media Files/Photos/photo.jpg"), test::readFile(photo));
    // Only the WhatsApp contact counts towards the view's counter.
    EXPECT_EQ(commands().recovredFilesNum(), 1);
}

TEST_F(ExportProgressTest, TheRecoveryTotalIsWhatWasMarkedForIt) {
    pages().actClickResource();
    pages().setMarked({0}, true);
    pages().actContact();
    pages().setMarked({0, 2}, true);
    pages().actClickFavtContact();
    pages().setMarked({0}, true);
    ASSERT_TRUE(commands().KTExportButtonMouseDownHandle(ExportButton::recoveryBtn));
    settle();
    const std::optional<ExportProgress> done = commands().progressOf(1);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->total, 1 + 2 + 1);
    EXPECT_EQ(done->done, done->total);
    EXPECT_EQ(done->revealed, out);
    EXPECT_EQ(commands().recovredFilesNum(), 4);
}

}  // namespace
}  // namespace vessamo
