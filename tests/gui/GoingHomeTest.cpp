// Leaving the results for the home screen, and coming back to them: the
// question, Cancel staying, Back going home, the source's results shown
// again without a new scan; and the result view's backup chooser, which
// trades the shown backup for another one by scanning it.
#include <QAction>
#include <QCoreApplication>
#include <QTableView>
#include <QTest>
#include <atomic>
#include <cstdlib>

#include <gtest/gtest.h>

#include "BackupChooser.h"
#include "ScannedSource.h"

namespace vessamo::test {
namespace {

constexpr const char* kHomeQuestion =
    "Are you sure you want to go back to Home? If Back, the scanning results will not be saved.";
constexpr const char* kEncrypted =
    "The backup that you selected has been encrypted. Please decrypt this backup before the "
    "scanning.";

// Counts the scan's progress posts: a scan posts them, showing does not.
class ProgressCounter {
public:
    explicit ProgressCounter(NotificationCenter& center)
        : observer_(center, "ScanProgressInfo", [this](const Notification&) { ++posts_; }) {}
    [[nodiscard]] int posts() const { return posts_.load(); }

private:
    std::atomic<int> posts_{0};
    ScopedObserver observer_;
};

TEST(GoingHomeTest, CancelStaysBackGoesHomeAndTheSourceComesBackWithoutAScan) {
    GuiHarness harness;
    const OpeningSettler settler(harness);
    ASSERT_TRUE(openCategory(harness, SourceEntryType::ITunes, ResultCategory::Chats));
    ResultPages& pages = harness.app().resultView().pages();
    const size_t chats = pages.chatRows().size();
    ASSERT_GT(chats, 0u);
    const ScanResultPtr scanned = harness.app().currentResult();
    QAction* home = harness.window().homeAction();

    AlertAnswerer cancel("Cancel");
    home->trigger();
    ASSERT_TRUE(cancel.wait());
    EXPECT_EQ(cancel.alert().text, kHomeQuestion);
    QStringList buttons = cancel.alert().buttons;  // in the style's order
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({" Back ", "Cancel"}));
    QCoreApplication::processEvents();
    EXPECT_FALSE(harness.window().showsHome());
    EXPECT_TRUE(showsResults(harness, ResultCategory::Chats));
    EXPECT_EQ(pages.chatRows().size(), chats);

    AlertAnswerer back(" Back ");
    home->trigger();
    ASSERT_TRUE(back.wait());
    ASSERT_TRUE(waitUntil([&] { return harness.window().showsHome(); }, 5000));
    EXPECT_EQ(harness.app().resultView().state().page, ResultPage::Start);
    EXPECT_TRUE(pages.chatRows().empty());
    EXPECT_EQ(pages.selectedFilesNum(), 0);
    // A refresh that comes later keeps the home screen.
    QTest::qWait(50);
    EXPECT_TRUE(harness.window().showsHome());

    ProgressCounter progress(harness.app().notifications());
    const size_t alertsBefore = harness.ui().alertsShown().size();
    gui::KTWhatsAppTypeButton* chatsButton =
        categoryButton(harness, SourceEntryType::ITunes, static_cast<int>(ResultCategory::Chats));
    ASSERT_NE(chatsButton, nullptr);
    chatsButton->click();
    EXPECT_FALSE(harness.app().isScanning());
    ASSERT_TRUE(waitUntil([&] { return showsResults(harness, ResultCategory::Chats); }, 5000));
    EXPECT_EQ(progress.posts(), 0);
    EXPECT_EQ(harness.app().currentResult(), scanned);
    EXPECT_EQ(pages.chatRows().size(), chats);
    EXPECT_EQ(harness.window().results().table()->model()->rowCount(), static_cast<int>(chats));
    // No scan ended, so no tip or other sheet came either.
    EXPECT_EQ(harness.ui().alertsShown().size(), alertsBefore);
}

TEST(GoingHomeTest, WithoutResultsHomeGoesStraightThere) {
    GuiHarness harness;
    harness.window().showSources();
    ASSERT_FALSE(harness.window().showsHome());
    harness.window().homeAction()->trigger();
    EXPECT_TRUE(harness.window().showsHome());
    EXPECT_TRUE(harness.ui().alertsShown().empty());
}

// Selects the chooser's entry by keyboard, as a person steps through it.
void chooseByKeyboard(gui::BackupChooser& chooser, int index) {
    chooser.setFocus();
    const Qt::Key key = index > chooser.currentIndex() ? Qt::Key_Down : Qt::Key_Up;
    for (int steps = std::abs(index - chooser.currentIndex()); steps > 0; --steps) {
        QTest::keyClick(&chooser, key);
    }
}

int indexOfType(OrlendoAppDelegate& app, const std::string& type) {
    const auto& records = app.GetKTIOSDeviceController().records();
    for (size_t at = 0; at < records.size(); ++at) {
        if (records[at]->strBackupType == type) {
            return static_cast<int>(at);
        }
    }
    return -1;
}

TEST(GoingHomeTest, BackupChooserScansTheChosenBackupInsteadOfTheShownOne) {
    GuiHarness harness(HarnessSources{.icloud = true});
    const OpeningSettler settler(harness);
    ASSERT_TRUE(openCategory(harness, SourceEntryType::ITunes, ResultCategory::Chats));
    OrlendoAppDelegate& app = harness.app();
    const int itunes = indexOfType(app, kBackupTypeITunes);
    const int icloud = indexOfType(app, kBackupTypeICloud);
    ASSERT_GE(itunes, 0);
    ASSERT_GE(icloud, 0);
    const KTIOSDeviceNodePtr backup = app.currentNode;

    gui::BackupChooser& chooser = harness.window().backupChooser();
    ASSERT_TRUE(waitUntil([&] { return harness.window().offersBackupChooser(); }, 5000));
    ASSERT_EQ(chooser.count(), static_cast<int>(app.GetKTIOSDeviceController().records().size()));
    EXPECT_EQ(chooser.currentIndex(), itunes);
    EXPECT_TRUE(chooser.itemText(icloud).contains("iCloud"));

    // While its list is open, a row selection of the results opens nothing.
    chooser.showPopup();
    ResultPages& pages = app.resultView().pages();
    const std::optional<size_t> selected = pages.selectedRow();
    pages.tableViewSelectionDidChange(1);
    EXPECT_EQ(pages.selectedRow(), selected);
    chooser.hidePopup();

    chooseByKeyboard(chooser, icloud);
    ASSERT_TRUE(harness.waitForScan(120000));
    // An iCloud Drive backup ends on its media.
    ASSERT_TRUE(waitUntil([&] { return showsResults(harness, ResultCategory::Attachments); }));
    const KTIOSDeviceNodePtr chosen = app.GetKTIOSDeviceController().records()[icloud];
    EXPECT_EQ(app.currentNode, chosen);
    EXPECT_TRUE(chosen->bhasScanCompleted);
    ASSERT_TRUE(chosen->scanResult);
    EXPECT_EQ(pages.lists()->result, chosen->scanResult);
    EXPECT_NE(chosen->scanResult, backup->scanResult);
    EXPECT_EQ(pages.resourceRows().size(), pages.lists()->resources.size());
    EXPECT_TRUE(waitUntil([&] { return chooser.currentIndex() == icloud; }, 2000));
}

// Choosing an encrypted backup says so and keeps what shows.
TEST(GoingHomeTest, BackupChooserRefusesAnEncryptedBackupAndKeepsTheResults) {
    GuiHarness harness(HarnessSources{.encrypted = true, .icloud = true});
    const OpeningSettler settler(harness);
    ASSERT_TRUE(openCategory(harness, SourceEntryType::ICloud, ResultCategory::Attachments));
    OrlendoAppDelegate& app = harness.app();
    const KTIOSDeviceNodePtr shown = app.currentNode;
    const ScanResultPtr result = shown->scanResult;
    const int encrypted = indexOfType(app, kBackupTypeITunes);
    ASSERT_GE(encrypted, 0);
    ASSERT_TRUE(app.GetKTIOSDeviceController().records()[encrypted]->beEncrypted);

    gui::BackupChooser& chooser = harness.window().backupChooser();
    ASSERT_TRUE(waitUntil([&] { return harness.window().offersBackupChooser(); }, 5000));
    AlertAnswerer told("Ok");
    chooseByKeyboard(chooser, encrypted);
    ASSERT_TRUE(told.wait());
    EXPECT_EQ(told.alert().text, kEncrypted);
    EXPECT_FALSE(app.isScanning());
    EXPECT_EQ(app.currentNode, shown);
    EXPECT_EQ(app.resultView().pages().lists()->result, result);
    EXPECT_TRUE(showsResults(harness, ResultCategory::Attachments));
    EXPECT_EQ(chooser.currentIndex(), indexOfType(app, kBackupTypeICloud));
}

}  // namespace
}  // namespace vessamo::test
