// The Timeline view: one row per Timeline backup with its two buttons, the
// account of the first backup, the placeholder when there is none; Show
// Content scans the backup, Back to iDevice says it cannot yet.
#include <QAction>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>

#include <gtest/gtest.h>

#include "ScannedSource.h"
#include "TimelinePage.h"
#include "TimelineRow.h"
#include "app/TimelineLibrary.h"
#include "common/UserPaths.h"

namespace vessamo::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSampleTimeline = "2022-01-15 - 13.20.00";  // what the harness writes

gui::TimelinePage& openTimeline(GuiHarness& harness) {
    harness.window().timelineAction()->trigger();
    return harness.window().timeline();
}

TEST(TimelineViewTest, RowsButtonsAndTheAccountOfTheFirstBackup) {
    GuiHarness harness(HarnessSources{.timeline = true});
    // A second backup, and what the listing leaves out: a hidden folder and a file.
    const std::string folder = UserPaths::timelineFolder();
    ASSERT_TRUE(fs::create_directories(folder + "/2023-03-01 - 09.00.00"));
    ASSERT_TRUE(fs::create_directories(folder + "/.hidden"));
    writeFile(folder + "/notes.txt", "not a backup");

    gui::TimelinePage& view = openTimeline(harness);
    ASSERT_TRUE(harness.window().showsTimeline());
    EXPECT_FALSE(view.showsPlaceholder());
    ASSERT_EQ(view.rows().size(), 2u);
    EXPECT_EQ(view.rows()[0]->dateLabel()->text(), kSampleTimeline);
    EXPECT_EQ(view.rows()[1]->dateLabel()->text(), "2023-03-01 - 09.00.00");
    for (gui::TimelineRow* row : view.rows()) {
        EXPECT_EQ(row->backButton()->text(), "    Back to iDevice");
        EXPECT_EQ(row->showButton()->text(), "           Show Content");
        EXPECT_TRUE(row->isVisibleTo(&view));
    }
    EXPECT_EQ(view.rows()[0]->currentFileNode().nodePath, folder + "/" + kSampleTimeline);
    // The first backup's account: its picture and preferences.
    EXPECT_EQ(view.nameLabel()->text(), "Name: Sample Owner");
    EXPECT_EQ(view.stateLabel()->text(), "State: Available");
    EXPECT_TRUE(view.nameLabel()->isVisibleTo(&view));
    EXPECT_TRUE(view.showsAccountPicture());

    // Opened again, the view lists the folder afresh.
    fs::remove_all(folder + "/2023-03-01 - 09.00.00");
    openTimeline(harness);
    EXPECT_EQ(view.rows().size(), 1u);
    EXPECT_TRUE(harness.ui().alertsShown().empty());
}

TEST(TimelineViewTest, WithoutBackupsThePlaceholderShowsAndThePersonIsTold) {
    GuiHarness harness;
    AlertAnswerer told("Ok");
    gui::TimelinePage& view = openTimeline(harness);
    ASSERT_TRUE(told.wait());
    EXPECT_EQ(told.alert().text, kTimelineNotFound);
    EXPECT_EQ(told.alert().detail, kCreateTimelineHint);
    EXPECT_TRUE(harness.window().showsTimeline());
    EXPECT_TRUE(view.showsPlaceholder());
    EXPECT_TRUE(view.rows().empty());
    EXPECT_FALSE(view.nameLabel()->isVisibleTo(&view));
    EXPECT_FALSE(view.pictureLabel()->isVisibleTo(&view));

    // Its button leads to the sources to scan one.
    auto* choose = view.findChild<QAbstractButton*>("timelinePlaceholderAction");
    ASSERT_NE(choose, nullptr);
    choose->click();
    EXPECT_FALSE(harness.window().showsTimeline());
    EXPECT_FALSE(harness.window().showsHome());
}

// Records the Timeline buttons' notifications, as their controller hears them.
class ButtonPosts {
public:
    explicit ButtonPosts(NotificationCenter& center) {
        for (const char* ending : {"MouseEntered", "MouseExited", "MouseDown"}) {
            observers_.emplace_back(center, std::string("KTTimeLineButton") + ending,
                                    [this, ending](const Notification&) {
                                        std::lock_guard lock(mutex_);
                                        names_.emplace_back(ending);
                                    });
        }
    }
    [[nodiscard]] std::vector<std::string> names() const {
        std::lock_guard lock(mutex_);
        return names_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<ScopedObserver> observers_;
};

TEST(TimelineViewTest, ButtonImagesFollowTheMouseAndBackToIDeviceIsNotThereYet) {
    GuiHarness harness(HarnessSources{.timeline = true});
    gui::TimelinePage& view = openTimeline(harness);
    ASSERT_EQ(view.rows().size(), 1u);
    gui::TimelineButton& back = *view.rows()[0]->backButton();
    gui::TimelineButton& show = *view.rows()[0]->showButton();
    ASSERT_TRUE(waitUntil([&] { return back.isVisible() && back.width() > 0; }, 5000));
    EXPECT_EQ(back.imageOf(back.look()), ":/icons/timeline/timelinebuttonleft_Nom.svg");
    EXPECT_EQ(show.imageOf(show.look()), ":/icons/timeline/timelinebuttonright_Nom.svg");
    ButtonPosts posts(harness.app().notifications());

    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), back.mapToGlobal(QPointF(4, 4)));
    QCoreApplication::sendEvent(&back, &enter);
    EXPECT_EQ(back.look(), gui::TimelineButton::Look::Hover);
    EXPECT_EQ(back.imageOf(back.look()), ":/icons/timeline/timelinebuttonleft_Move.svg");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&back, &leave);
    EXPECT_EQ(back.look(), gui::TimelineButton::Look::Normal);

    QCoreApplication::sendEvent(&back, &enter);
    QTest::mousePress(&back, Qt::LeftButton, {}, back.rect().center());
    EXPECT_EQ(back.look(), gui::TimelineButton::Look::Pressed);
    EXPECT_EQ(back.imageOf(back.look()), ":/icons/timeline/timelinebuttonleft_Down.svg");
    AlertAnswerer told("Ok");
    QTest::mouseRelease(&back, Qt::LeftButton, {}, back.rect().center());
    ASSERT_TRUE(told.wait());
    EXPECT_TRUE(told.alert().text.contains("not use yet")) << told.alert().text.toStdString();
    // Released, the pressed image goes; the controller heard the pointer
    // come, go, come again and press.
    EXPECT_NE(back.look(), gui::TimelineButton::Look::Pressed);
    const std::vector<std::string> heard = posts.names();
    ASSERT_GE(heard.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(heard.begin(), heard.begin() + 3),
              (std::vector<std::string>{"MouseEntered", "MouseExited", "MouseEntered"}));
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "MouseDown"), 1);
    // Nothing was scanned or restored.
    EXPECT_FALSE(harness.app().isScanning());
    EXPECT_TRUE(harness.window().showsTimeline());
}

TEST(TimelineViewTest, ShowContentScansTheBackupAndShowsItsChats) {
    GuiHarness harness(HarnessSources{.timeline = true});
    const OpeningSettler settler(harness);
    harness.app().defaults().setBool(kExampleAlertSuppress, true);
    gui::TimelinePage& view = openTimeline(harness);
    ASSERT_EQ(view.rows().size(), 1u);
    const std::string folder = *view.rows()[0]->currentFileNode().nodePath;

    std::atomic<int> progress = 0;
    ScopedObserver counting(harness.app().notifications(), "ScanProgressInfo",
                            [&](const Notification&) { ++progress; });
    view.rows()[0]->showButton()->click();
    ASSERT_TRUE(harness.waitForScan(120000));
    EXPECT_GT(progress.load(), 0);
    ASSERT_TRUE(waitUntil([&] { return showsResults(harness, ResultCategory::Chats); }, 10000));
    EXPECT_FALSE(harness.window().showsTimeline());

    OrlendoAppDelegate& app = harness.app();
    ASSERT_TRUE(app.currentNode);
    EXPECT_EQ(app.currentNode->strBackupType, kBackupTypeTimelineContent);
    EXPECT_EQ(app.currentNode->backUpFilePath, folder);
    EXPECT_FALSE(app.bIOSRecoveryMode);
    EXPECT_EQ(app.resultView().state().fullWhatsAppLocation, folder);
    const ScanResultPtr result = app.currentResult();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->WhatsAppConvChatArray.empty());
    EXPECT_EQ(harness.window().results().table()->model()->rowCount(),
              static_cast<int>(app.resultView().pages().chatRows().size()));
    EXPECT_GT(app.resultView().pages().chatRows().size(), 0u);
}

}  // namespace
}  // namespace vessamo::test
