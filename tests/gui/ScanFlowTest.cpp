// A scan as a person runs it from the window: the category button of a
// backup, the scanning page, the stop question, the tip sheet afterwards and
// the chats page it ends on.
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "ChatView.h"
#include "ChatViewModel.h"
#include "GuiTestSupport.h"
#include "KTExpandButton.h"
#include "KTWhatsAppTypeButton.h"
#include "ResultListModels.h"
#include "ResultsPage.h"
#include "ScanningPage.h"
#include "SourceListView.h"
#include "results/KTResultViewController.h"
#include "sample/SampleWhatsApp.h"

namespace vessamo::test {
namespace {

constexpr const char* kTipTitle = "Scan with advanced recovery mode";
constexpr const char* kStopQuestion = "Are you sure you want to Stop the scanning ?";

// The chats button of the backup's expanded entry, as a person reaches it.
gui::KTWhatsAppTypeButton* chatsButton(GuiHarness& harness) {
    for (auto* button : harness.window().sourceList().findChildren<gui::KTWhatsAppTypeButton*>()) {
        if (button->btnType() == 1 && button->isVisible()) {
            return button;
        }
    }
    return nullptr;
}

void clickChatsOfTheBackup(GuiHarness& harness) {
    harness.window().showSources();
    for (auto* expand : harness.window().sourceList().findChildren<gui::KTExpandButton*>()) {
        const SourceListRow* row = harness.app().sourceList().entry(expand->entryId());
        if (row != nullptr && row->type == SourceEntryType::ITunes) {
            expand->click();
            break;
        }
    }
    ASSERT_TRUE(waitUntil([&] { return chatsButton(harness) != nullptr; }, 5000));
    chatsButton(harness)->click();
}

bool showsScanning(GuiHarness& harness) {
    return harness.window().resultPage() == &harness.window().scanning();
}

bool showsChats(GuiHarness& harness) {
    return harness.window().resultPage() == &harness.window().results() &&
           harness.window().results().category() == ResultCategory::Chats;
}

size_t tipsShown(GuiHarness& harness) {
    const auto alerts = harness.ui().alertsShown();
    return static_cast<size_t>(std::count_if(
        alerts.begin(), alerts.end(), [](const auto& alert) { return alert.title == kTipTitle; }));
}

// The sample's conversations and the starred list that ends them.
size_t sampleConversations(size_t messages) {
    sample::WhatsAppSampleOptions world;
    if (messages > 0) {
        world.messages = messages;
    }
    return sample::makeWhatsAppSample(world).database.chats.size() + 1;
}

TEST(ScanFlowTest, CategoryButtonScansAndEndsOnTheChatsListedByTheSample) {
    GuiHarness harness(HarnessSources{.messages = 20000});
    AlertAnswerer tip("Ok");
    clickChatsOfTheBackup(harness);

    // Every text the percentage shows while the scan runs.
    std::set<QString> percentages;
    QLabel* percent = harness.window().scanning().percentLabel();
    ASSERT_TRUE(waitUntil(
        [&] {
            if (showsScanning(harness) && percent->isVisible()) {
                percentages.insert(percent->text());
            }
            return tip.answered() && !harness.app().isScanning();
        },
        60000));

    ASSERT_FALSE(percentages.empty());
    const QRegularExpression shape("^[0-9]{1,3}%$");
    for (const QString& text : percentages) {
        EXPECT_NE(text, "0%");
        EXPECT_TRUE(shape.match(text).hasMatch()) << text.toStdString();
    }
    EXPECT_EQ(tip.alert().text, kTipTitle);

    ASSERT_TRUE(waitUntil([&] { return showsChats(harness); }, 5000));
    gui::ResultsPage& results = harness.window().results();
    const size_t expected = sampleConversations(20000);
    ASSERT_EQ(static_cast<size_t>(results.table()->model()->rowCount()), expected);
    EXPECT_EQ(results.countLabel()->text(), QString("%1 chats").arg(expected));
    // Every chat row names its chat and shows when it last spoke.
    const QAbstractItemModel* chats = results.table()->model();
    for (int row = 0; row < chats->rowCount(); ++row) {
        EXPECT_FALSE(chats->index(row, gui::ChatListModel::Name).data().toString().isEmpty());
        EXPECT_FALSE(chats->index(row, gui::ChatListModel::Date).data().toString().isEmpty());
    }
    // The first chat opens beside the list, with its newest messages.
    gui::ChatView& chat = *results.chatView();
    ASSERT_TRUE(waitUntil([&] { return chat.model().rowCount() > 0; }, 5000));
    EXPECT_TRUE(chat.isVisibleTo(&results));
    EXPECT_EQ(chat.title()->text(), chats->index(0, gui::ChatListModel::Name).data().toString());
    const QScrollBar* bar = chat.messageList()->verticalScrollBar();
    EXPECT_TRUE(
        waitUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }, 2000))
        << "the conversation should open at its newest message: " << bar->value() << " of "
        << bar->maximum();
}

TEST(ScanFlowTest, StopAsksFirstCancelKeepsScanningStopEndsOnTheChatsPage) {
    GuiHarness harness(HarnessSources{.messages = 300000});
    clickChatsOfTheBackup(harness);
    QPushButton* stop = harness.window().scanning().stopButton();
    ASSERT_TRUE(waitUntil([&] { return showsScanning(harness) && stop->isVisible(); }, 30000));

    AlertAnswerer cancel(" Cancel ");
    stop->click();
    ASSERT_TRUE(cancel.answered());
    EXPECT_EQ(cancel.alert().text, kStopQuestion);
    QStringList buttons = cancel.alert().buttons;  // in the style's order
    buttons.sort();
    EXPECT_EQ(buttons, QStringList({" Cancel ", " Stop "}));
    EXPECT_TRUE(harness.app().isScanning());
    EXPECT_TRUE(showsScanning(harness));

    AlertAnswerer stopIt(" Stop ");
    stop->click();
    ASSERT_TRUE(stopIt.answered());
    AlertAnswerer tip("Ok");
    ASSERT_TRUE(waitUntil([&] { return tip.answered() && !harness.app().isScanning(); }, 60000));
    ASSERT_TRUE(waitUntil([&] { return showsChats(harness); }, 5000));
    const ScanResultPtr result = harness.app().currentResult();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->stopped);
    // What the stopped scan had read is listed, and the page says it is partial.
    EXPECT_EQ(static_cast<size_t>(harness.window().results().table()->model()->rowCount()),
              harness.app().resultView().pages().chatRows().size());
    EXPECT_TRUE(harness.window()
                    .results()
                    .findChild<QLabel*>("resultNote")
                    ->isVisibleTo(&harness.window().results()));
}

TEST(ScanFlowTest, TipSheetAnsweredWithItsBoxTickedNeverComesAgain) {
    GuiHarness harness;
    AlertAnswerer first("Ok", /*tickCheckBox=*/true);
    clickChatsOfTheBackup(harness);
    ASSERT_TRUE(first.wait(60000));
    ASSERT_TRUE(harness.waitForScan());
    EXPECT_EQ(first.alert().text, kTipTitle);
    EXPECT_TRUE(first.alert().hadCheckBox);
    EXPECT_TRUE(harness.app().defaults().boolForKey(kExampleAlertSuppress));

    // A second scan of the same backup, through the folder chooser.
    harness.app().openPanelDidEnd1(harness.backupFolder());
    ASSERT_TRUE(harness.waitForScan());
    ASSERT_TRUE(waitUntil([&] { return showsChats(harness); }, 5000));
    EXPECT_EQ(tipsShown(harness), 1u);
}

// While a large backup is read, a call queued on the interface thread runs
// at once: the scan never holds the event loop.
TEST(ScanFlowTest, InterfaceAnswersQueuedCallsWhileAScanRuns) {
    GuiHarness harness(HarnessSources{.messages = 40000});
    AlertAnswerer tip("Ok");
    clickChatsOfTheBackup(harness);
    ASSERT_TRUE(waitUntil([&] { return harness.app().isScanning(); }, 30000));

    // A few seconds of a running scan are enough to see whether the
    // interface keeps answering; how long the whole scan takes depends on
    // the machine (and the sanitizers), so the test does not wait for it.
    constexpr qint64 kWindowMs = 4000;
    std::vector<qint64> latencies;
    QElapsedTimer window;
    window.start();
    QElapsedTimer sent;
    bool waiting = false;
    QObject calls;  // after what the calls touch: a late one dies with it
    waitUntil(
        [&] {
            if (!waiting && harness.app().isScanning() && !tip.answered()) {
                waiting = true;
                sent.start();
                QTimer::singleShot(0, &calls, [&] {
                    latencies.push_back(sent.elapsed());
                    waiting = false;
                });
            }
            return !harness.app().isScanning() || window.elapsed() > kWindowMs;
        },
        60000);
    ASSERT_GE(latencies.size(), 5u) << "the scan ended before the interface could be measured";
    std::sort(latencies.begin(), latencies.end());
    const qint64 p95 = latencies[latencies.size() * 95 / 100];
    RecordProperty("queuedCalls", static_cast<int>(latencies.size()));
    RecordProperty("p95Ms", static_cast<int>(p95));
    RecordProperty("maxMs", static_cast<int>(latencies.back()));
    EXPECT_LT(p95, 250) << "95th percentile of " << latencies.size() << " queued calls";

    // The stop is honoured promptly whatever stage the scan is in.
    if (harness.app().isScanning()) {
        harness.app().requestStop();
        QElapsedTimer stopping;
        stopping.start();
        ASSERT_TRUE(harness.waitForScan(120000));
        RecordProperty("stopMs", static_cast<int>(stopping.elapsed()));
    }
}

}  // namespace
}  // namespace vessamo::test
