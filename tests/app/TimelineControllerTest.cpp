#include <gtest/gtest.h>

#include "app/OrlendoAppDelegate.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

class TimelineController : public ::testing::Test {
protected:
    test::TempHome home;
    test::RecordingUiPort ui;
    NotificationCenter center;
    OrlendoAppDelegate controller{ui, center, OrlendoAppDelegate::Options{}};
};

TEST_F(TimelineController, WithoutABackupScanThereIsNothingToKeep) {
    EXPECT_FALSE(controller.ClickCreateWhatsAppTimeline());
    ASSERT_EQ(ui.alerts.size(), 1u);
    EXPECT_EQ(ui.alerts[0].title, kNoScanResult);
    EXPECT_TRUE(controller.timeBackupArray.empty());
}

TEST_F(TimelineController, AScanKeptAsTimelineIsListedAndItsContentScansAsTimeline) {
    const std::string backup = home.backupRoot() + "/device";
    ASSERT_TRUE(sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb).write(backup));
    controller.openPanelDidEnd1(backup);
    controller.waitForScan();
    const size_t sourceMessages = controller.currentNode->WhatsAppChatArray.size();
    ASSERT_GT(sourceMessages, 0u);

    ASSERT_TRUE(controller.ClickCreateWhatsAppTimeline());
    controller.timelineMaker().wait();
    ASSERT_TRUE(controller.timelineMaker().lastResult());
    EXPECT_TRUE(controller.timelineMaker().lastResult()->succeeded());
    EXPECT_EQ(ui.alerts.back().title, kTimelineCreated);

    controller.FindWhatsAppTimelineBackup();
    ASSERT_EQ(controller.timeBackupArray.size(), 1u);
    const TimelineViewData view = controller.ClickShowWhatsAppTimeline();
    ASSERT_EQ(view.rows.size(), 1u);
    ASSERT_TRUE(view.account.info);
    EXPECT_EQ(controller.getWhatsAppInfoNode(), view.account.info);

    ASSERT_TRUE(controller.ClickShowContentAction(*view.rows[0]));
    controller.waitForScan();
    ASSERT_TRUE(controller.currentNode);
    EXPECT_EQ(controller.currentNode->strBackupType, kBackupTypeTimelineContent);
    EXPECT_TRUE(controller.currentNode->bhasScanCompleted);
    const auto& messages = controller.currentNode->WhatsAppChatArray;
    EXPECT_EQ(messages.size(), sourceMessages);
    for (const KTWhatsAppNodePtr& message : messages) {
        EXPECT_TRUE(message->bTimelineNode);
    }
    EXPECT_FALSE(controller.currentNode->WhatsAppMediaArray.empty());
}

}  // namespace
}  // namespace vessamo
