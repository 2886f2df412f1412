#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "BackupTablePage.h"
#include "EmptyStatePage.h"
#include "GuiTestSupport.h"
#include "KTDeviceView.h"
#include "KTExpandButton.h"
#include "KTLeftTipButton.h"
#include "KTScanVSButton.h"
#include "KTWhatAppView.h"
#include "KTWhatsAppTypeButton.h"
#include "SourceListView.h"

namespace vessamo::test {
namespace {

using gui::KTDeviceView;
using gui::KTLeftTipButton;
using gui::KTWhatAppView;
using gui::KTWhatsAppTypeButton;
using gui::SourceListView;

// A source list of its own beside the main window, on the harness's controller.
struct ListFixture {
    explicit ListFixture(HarnessSources sources) : harness(sources) {
        view = std::make_unique<SourceListView>(harness.app(), harness.app().notifications());
        view->resize(320, 600);
        view->show();
        QApplication::setActiveWindow(view.get());
    }

    template <typename Widget>
    [[nodiscard]] std::vector<Widget*> shown() const {
        std::vector<Widget*> widgets;
        for (Widget* widget : view->findChildren<Widget*>()) {
            if (widget->isVisible()) {
                widgets.push_back(widget);
            }
        }
        std::sort(widgets.begin(), widgets.end(), [](QWidget* left, QWidget* right) {
            return left->mapTo(left->window(), QPoint()).y() <
                   right->mapTo(right->window(), QPoint()).y();
        });
        return widgets;
    }
    [[nodiscard]] KTDeviceView* entry(const QString& title) const {
        for (KTDeviceView* candidate : shown<KTDeviceView>()) {
            if (candidate->title() == title) {
                return candidate;
            }
        }
        return nullptr;
    }

    GuiHarness harness;
    std::unique_ptr<SourceListView> view;
};

QStringList textsOf(const std::vector<KTLeftTipButton*>& buttons) {
    QStringList texts;
    for (const KTLeftTipButton* button : buttons) {
        texts << button->text();
    }
    return texts;
}

TEST(SourceListTest, SourcesShowAsEntriesWithTheirDetails) {
    ListFixture list({.itunes = true, .icloud = true, .timeline = true});
    EXPECT_EQ(textsOf(list.shown<KTLeftTipButton>()), QStringList{"No Device Connect"});
    const KTDeviceView* backup = list.entry("Vessamo Sample iPhone");
    ASSERT_NE(backup, nullptr);
    EXPECT_TRUE(backup->detail().startsWith("Backup--20")) << backup->detail().toStdString();
    const KTDeviceView* icloud = list.entry("iCloud Backup");
    ASSERT_NE(icloud, nullptr);
    EXPECT_EQ(icloud->detail(), "WhatsApp Account:Account1");
    const KTDeviceView* timeline = list.entry("WhatsApp TimeLine Backup");
    ASSERT_NE(timeline, nullptr);
    EXPECT_EQ(timeline->detail(), "2022-01-15 - 13.20.00");
}

TEST(SourceListTest, ExpandingMovesTheRowsBelowAndCollapsingRestoresThem) {
    ListFixture list({.itunes = true, .icloud = true});
    auto topOf = [&](const QString& title) { return list.entry(title)->geometry().top(); };
    const int icloudTop = topOf("iCloud Backup");
    const int height = list.view->documentHeight();

    list.entry("Vessamo Sample iPhone")->expandButton()->click();
    ASSERT_TRUE(waitUntil([&] { return list.shown<KTWhatAppView>().size() == 1; }));
    QStringList categories;
    for (const KTWhatsAppTypeButton* button : list.shown<KTWhatsAppTypeButton>()) {
        categories << button->text();
    }
    EXPECT_EQ(categories, (QStringList{"WhatsApp Chat", "WhatsApp Media files", "WhatsApp Call",
                                       "WhatsApp Contacts", "WhatsApp Favorites Contacts"}));
    EXPECT_EQ(list.shown<KTWhatAppView>().front()->height(), SourceList::kPanelHeight);
    EXPECT_EQ(topOf("iCloud Backup"), icloudTop + SourceList::kPanelHeight);
    EXPECT_EQ(list.view->documentHeight(), height + SourceList::kPanelHeight);

    list.entry("Vessamo Sample iPhone")->expandButton()->click();
    ASSERT_TRUE(waitUntil([&] { return list.shown<KTWhatAppView>().empty(); }));
    EXPECT_EQ(topOf("iCloud Backup"), icloudTop);
    EXPECT_EQ(list.view->documentHeight(), height);
}

TEST(SourceListTest, KeyboardReachesAnExpandButtonAndSpaceExpands) {
    ListFixture list({.itunes = true});
    QWidget* expand = list.entry("Vessamo Sample iPhone")->expandButton();
    list.view->setFocus();
    ASSERT_TRUE(waitUntil(
        [&] {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            return QApplication::focusWidget() == expand;
        },
        2000));
    QTest::keyClick(expand, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return list.shown<KTWhatAppView>().size() == 1; }));
    // The rebuilt row's arrow keeps the focus, so the next key goes on from there.
    auto* focused = qobject_cast<gui::KTExpandButton*>(QApplication::focusWidget());
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(focused->isExpanded());
}

TEST(SourceListTest, AScannedSourceShowsItsCountsBesideItsCategories) {
    GuiHarness harness;
    auto* list = harness.window().findChild<SourceListView*>();
    ASSERT_NE(list, nullptr);
    auto buttonsShown = [&] { return list->findChildren<KTWhatsAppTypeButton*>(); };
    list->findChild<KTDeviceView*>()->expandButton()->click();
    ASSERT_TRUE(waitUntil([&] { return buttonsShown().size() == 5; }));
    EXPECT_FALSE(buttonsShown().front()->count().has_value());

    AlertAnswerer tip("Ok");  // the advanced mode tip that ends a first scan
    buttonsShown().front()->click();
    ASSERT_TRUE(tip.wait(60000));
    ASSERT_TRUE(harness.waitForScan());
    ASSERT_TRUE(waitUntil([&] {
        const auto buttons = buttonsShown();
        return buttons.size() == 5 && buttons.back()->count().has_value();
    }));
    const auto buttons = buttonsShown();
    EXPECT_GT(*buttons[0]->count(), 0U);
    EXPECT_EQ(*buttons[0]->count(), harness.app().resultView().pages().chatRows().size());
    EXPECT_EQ(*buttons[2]->count(), harness.app().currentResult()->WhatsAppCallArray.size());
    EXPECT_TRUE(list->scanButton()->isEnabled());
}

TEST(SourceListTest, PlaceholdersOpenTheirEmptyPages) {
    GuiHarness harness(HarnessSources{.itunes = false});
    auto* list = harness.window().findChild<SourceListView*>();
    gui::EmptyStatePage* page = nullptr;
    for (QWidget* child : harness.window().findChildren<QWidget*>()) {
        page = page != nullptr ? page : dynamic_cast<gui::EmptyStatePage*>(child);
    }
    ASSERT_NE(list, nullptr);
    ASSERT_NE(page, nullptr);
    const std::pair<QString, ResultPage> cases[] = {
        {"No Device Connect", ResultPage::NoBackup},
        {"Setup iTunes Backup", ResultPage::NoITunesBackup},
        {"Setup iCloud Backup", ResultPage::NoICloudBackup},
        {"Create WhatsApp Timeline", ResultPage::NoTimelineBackup},
    };
    for (const auto& [text, expected] : cases) {
        const auto buttons = list->findChildren<KTLeftTipButton*>();
        const auto it = std::find_if(buttons.begin(), buttons.end(),
                                     [&](KTLeftTipButton* b) { return b->text() == text; });
        ASSERT_NE(it, buttons.end()) << text.toStdString();
        (*it)->click();
        EXPECT_TRUE(waitUntil([&] { return page->isVisible() && page->page() == expected; }))
            << text.toStdString();
    }
    // A placeholder number the list never makes changes nothing.
    SourceListRow odd;
    odd.kind = SourceListRow::Kind::Entry;
    odd.type = SourceEntryType::NoDevice;
    odd.placeholderType = 7;
    KTLeftTipButton stray(odd, harness.app().notifications());
    stray.click();
    QApplication::processEvents();
    EXPECT_EQ(page->page(), ResultPage::NoTimelineBackup);
    EXPECT_EQ(harness.app().resultView().state().page, ResultPage::NoTimelineBackup);
}

TEST(SourceListTest, BackupTableScansOnlyASelectedRow) {
    GuiHarness harness(HarnessSources{.itunes = true, .encrypted = true});
    gui::BackupTablePage page(harness.app());
    page.show();
    ASSERT_EQ(page.table()->model()->rowCount(), 1);
    EXPECT_FALSE(page.scanButton()->isEnabled());
    page.table()->selectRow(0);
    EXPECT_TRUE(page.scanButton()->isEnabled());

    AlertAnswerer answerer("Ok");
    page.scanButton()->click();
    ASSERT_TRUE(answerer.wait());
    EXPECT_EQ(answerer.alert().text,
              "The backup that you selected has been encrypted. Please decrypt this backup before "
              "the scanning.");
    EXPECT_FALSE(harness.app().isScanning());

    page.table()->clearSelection();
    EXPECT_FALSE(page.scanButton()->isEnabled());
}

}  // namespace
}  // namespace vessamo::test
