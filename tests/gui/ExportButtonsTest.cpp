// The export buttons of each list as a person uses them: the save sheet
// that opens in Documents with the product's name, the files the export
// writes, its row in the progress list, the folder shown at its end, and
// the combined recovery with its progress window.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "ExportBar.h"
#include "ExportProgressView.h"
#include "MarkedResultsFixture.h"
#include "RecoveryProgressWindow.h"
#include "SelectionBar.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

std::set<std::string> filesIn(const std::string& folder) {
    std::set<std::string> names;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

// Presses the export's button and waits until its row says it is done.
void exportWith(MarkedResults& results, ExportButton which) {
    QToolButton* button = results.page->exportBar()->button(which);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible());
    const size_t before = results.app->exportCommands().lastStartedExport();
    button->click();
    const gui::ExportProgressView& view = *results.page->exportBar()->progressView();
    ASSERT_TRUE(waitUntil(
        [&] {
            return !view.rows().empty() && view.rows().back().id > before &&
                   view.rows().back().state->text().startsWith("Done");
        },
        60000));
}

TEST(ExportButtonsTest, EachListShowsItsOwnButtons) {
    MarkedResults results;
    const gui::ExportBar& bar = *results.page->exportBar();
    using B = ExportButton;
    const struct {
        ResultCategory category;
        std::vector<ExportButton> buttons;
    } lists[] = {
        {ResultCategory::Chats,
         {B::exportChatHtmlBtn, B::exportChatReportBtn, B::exportChatTxtBtn,
          B::exportCHatContactBtn, B::exportCHatAttachBtn}},
        {ResultCategory::Attachments,
         {B::exportAllFilesBtn, B::exportAllVideosBtn, B::exportAllAudioBtn, B::exportAllPhotosBtn,
          B::exportMediaBtn}},
        {ResultCategory::Calls, {B::exportCallBtn}},
        {ResultCategory::Contacts, {B::exportContactBtn}},
        {ResultCategory::Favorites, {B::exportFavContactBtn}},
    };
    for (const auto& list : lists) {
        results.show(list.category);
        EXPECT_EQ(bar.shownButtons(), list.buttons);
        int visible = 0;
        for (QToolButton* button : bar.findChildren<QToolButton*>()) {
            visible += button->isVisible() ? 1 : 0;
        }
        EXPECT_EQ(visible, static_cast<int>(list.buttons.size()));
        for (ExportButton which : list.buttons) {
            EXPECT_TRUE(bar.button(which)->isVisible());
            EXPECT_FALSE(bar.button(which)->text().isEmpty());
        }
    }
}

TEST(ExportButtonsTest, ChatsAsWebPagesWriteTheSelectedAndTheMarkedChatsAndShowTheirFolder) {
    MarkedResults results;
    results.show(ResultCategory::Chats);
    // Ana's row is selected as the page opens; Cleo's box is ticked. A box
    // marks its own row and leaves the selection where it was.
    results.clickCheckBox(2);
    EXPECT_EQ(results.pages().selectedRow(), std::optional<size_t>(0));
    exportWith(results, ExportButton::exportChatHtmlBtn);

    ASSERT_EQ(results.sheets.size(), 1u);
    EXPECT_EQ(results.sheets[0].startFolder, results.home.path() + "/Documents");
    EXPECT_EQ(results.sheets[0].proposedName, "Vessamo");
    const std::string out = *results.answer;
    std::set<std::string> pages;
    for (const std::string& name : filesIn(out + "/Chats")) {
        if (fs::path(name).extension() == ".html") {
            pages.insert(name);
        }
    }
    EXPECT_EQ(pages, (std::set<std::string>{"Ana1.html", "Cleo3.html"}));
    EXPECT_EQ(results.openedFolders(), QStringList{QString::fromStdString(out + "/Chats")});
    const gui::ExportProgressView::Row& row =
        results.page->exportBar()->progressView()->rows().back();
    EXPECT_EQ(row.name->text(), "Chats as web pages");
    EXPECT_EQ(row.state->text(), "Done: 2 files");
    EXPECT_EQ(row.bar->value(), row.bar->maximum());
}

// The report button beside the web pages: the same chats, as a report
// folder with its index, shown when done.
TEST(ExportButtonsTest, TheReportButtonWritesTheChosenChatsAsAReport) {
    MarkedResults results;
    results.show(ResultCategory::Chats);
    results.clickCheckBox(2);
    exportWith(results, ExportButton::exportChatReportBtn);

    const std::string report = *results.answer + "/Report";
    EXPECT_EQ(filesIn(report + "/Chats"),
              (std::set<std::string>{"Ana.html", "Ana.json", "Cleo.html", "Cleo.json"}));
    const std::string index = readFile(report + "/index.html");
    EXPECT_NE(index.find("href=\"Chats/Ana.html\""), std::string::npos);
    EXPECT_NE(index.find("href=\"Chats/Cleo.html\""), std::string::npos);
    EXPECT_TRUE(fs::exists(report + "/search-index.js"));
    EXPECT_EQ(results.openedFolders(), QStringList{QString::fromStdString(report)});
    const auto& row = results.page->exportBar()->progressView()->rows().back();
    EXPECT_EQ(row.name->text(), "Chat report");
    EXPECT_TRUE(row.state->text().startsWith("Done: "));
}

TEST(ExportButtonsTest, ContactsBecomeCardsAndAllPhotosOnlyThePhotos) {
    MarkedResults results;
    const std::string out = *results.answer;
    results.show(ResultCategory::Contacts);
    exportWith(results, ExportButton::exportContactBtn);
    EXPECT_EQ(filesIn(out + "/Contact"),
              (std::set<std::string>{"Anna Schmidt.vcf", "Ben Meyer.vcf", "Carla Rossi.vcf"}));
    const std::string card = readFile(out + "/Contact/Ben Meyer.vcf");
    EXPECT_EQ(card.rfind("BEGIN:VCARD\r\nVERSION:3.0\r\n", 0), 0u) << card;
    EXPECT_NE(card.find("TEL;TYPE=CELL,PREF:+49 170 2222222\r\n"), std::string::npos) << card;

    results.show(ResultCategory::Attachments);
    exportWith(results, ExportButton::exportAllPhotosBtn);
    const std::string photos = out + "/Media Files/Photos";
    EXPECT_EQ(filesIn(photos), (std::set<std::string>{"photo.jpg", "beach.png"}));
    EXPECT_EQ(readFile(photos + "/photo.jpg"), readFile(results.photo));
    EXPECT_FALSE(fs::exists(out + "/Media Files/Video"));
    EXPECT_EQ(results.openedFolders(), (QStringList{QString::fromStdString(out + "/Contact"),
                                                    QString::fromStdString(photos)}));
    // Both exports are listed, the newest last.
    const auto& rows = results.page->exportBar()->progressView()->rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name->text(), "Contacts");
    EXPECT_EQ(rows[0].state->text(), "Done: 3 files");
    EXPECT_EQ(rows[1].name->text(), "All photos");
    EXPECT_EQ(rows[1].state->text(), "Done: 2 files");
}

TEST(ExportButtonsTest, ACancelledSheetWritesNothing) {
    MarkedResults results;
    results.answer.reset();
    results.show(ResultCategory::Calls);
    results.page->exportBar()->button(ExportButton::exportCallBtn)->click();
    QApplication::processEvents();
    EXPECT_EQ(results.sheets.size(), 1u);
    EXPECT_FALSE(results.app->exportCommands().isExporting());
    EXPECT_EQ(results.app->exportCommands().lastStartedExport(), 0u);
    EXPECT_FALSE(fs::exists(results.home.path() + "/out"));
    EXPECT_TRUE(results.opened.isEmpty());
}

// The sheet itself, not an answer given in its place: it opens in the
// user's Documents folder with the product's name, and what it confirms is
// where the export writes.
TEST(ExportButtonsTest, TheSaveSheetOpensInDocumentsWithTheProductsName) {
    MarkedResults results;
    results.ui.setSaveAnswer(nullptr);
    results.show(ResultCategory::Calls);
    QString shownFolder;
    QString shownName;
    bool accepted = false;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* sheet = qobject_cast<QFileDialog*>(widget);
            if (sheet != nullptr && sheet->isVisible() && !accepted) {
                accepted = true;
                shownFolder = sheet->directory().absolutePath();
                const QStringList files = sheet->selectedFiles();
                shownName = files.isEmpty() ? QString() : QFileInfo(files.front()).fileName();
                EXPECT_EQ(sheet->acceptMode(), QFileDialog::AcceptSave);
                static_cast<QDialog*>(sheet)->accept();  // the Save button
            }
        }
    });
    answerer.start(50);
    exportWith(results, ExportButton::exportCallBtn);
    answerer.stop();

    const QString documents = QString::fromStdString(results.home.path() + "/Documents");
    EXPECT_TRUE(accepted);
    EXPECT_EQ(QDir(shownFolder).canonicalPath(), QDir(documents).canonicalPath());
    EXPECT_EQ(shownName, "Vessamo");
    const std::string calls = results.home.path() + "/Documents/Vessamo/Call History";
    EXPECT_EQ(filesIn(calls), std::set<std::string>{"WhatsApp Call.txt"});
    const std::string text = readFile(calls + "/WhatsApp Call.txt");
    EXPECT_NE(text.find("Name:Anna  "), std::string::npos) << text;
    EXPECT_NE(text.find("Name:Ben  "), std::string::npos) << text;
}

TEST(ExportButtonsTest, TheSaveButtonRecoversTheMarkedRecordsWithItsProgressWindow) {
    MarkedResults results;
    const std::string out = *results.answer;
    gui::SelectionBar& bar = *results.page->selectionBar();
    results.show(ResultCategory::Contacts);
    results.clickCheckBox(0);
    results.clickCheckBox(3);  // no name: saved under its row key
    results.show(ResultCategory::Attachments);
    bar.selectAllBox(ResultCategory::Attachments)->click();
    ASSERT_TRUE(bar.saveButton()->isEnabled());

    gui::RecoveryProgressWindow& window = *bar.recoveryWindow();
    EXPECT_FALSE(window.isVisible());
    bool shown = false;
    QObject::connect(&window, &gui::RecoveryProgressWindow::recoveryFinished,
                     [&] { shown = shown || window.bar()->maximum() == 2 + 3; });
    bar.saveButton()->click();
    ASSERT_EQ(results.sheets.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(results.sheets[0].proposedName).startsWith("Vessamo 20"));
    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }, 60000));
    EXPECT_TRUE(shown) << "the bar should have counted the five marked records";
    EXPECT_EQ(window.countLabel()->text(), "5 of 5 items");

    EXPECT_EQ(filesIn(out + "/Resource"),
              (std::set<std::string>{"photo.jpg", "beach.png", "clip.mp4"}));
    EXPECT_EQ(readFile(out + "/Resource/photo.jpg"), readFile(results.photo));
    const std::set<std::string> contact = filesIn(out + "/Contact");
    EXPECT_TRUE(contact.count("Anna Schmidt.vcf")) << contact.size();
    EXPECT_TRUE(contact.count("Contacts.txt"));
    EXPECT_EQ(contact.size(), 3u);  // the nameless contact's card as well
    EXPECT_EQ(results.openedFolders(), QStringList{QString::fromStdString(out)});
}

}  // namespace
}  // namespace vessamo::test
