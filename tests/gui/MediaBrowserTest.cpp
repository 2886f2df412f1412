// The media page's grid as a person uses it: pictures decoded only for the
// tiles in sight, type badges, check marks that count as marks of the
// resources list, a selection that is what the "selected media" export
// takes, details beside the grid and a preview on Enter.
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "DetailPane.h"
#include "GuiTestSupport.h"
#include "MediaBrowser.h"
#include "MediaBrowserModel.h"
#include "MediaTileDelegate.h"
#include "ResultsPage.h"
#include "results/KTResultViewController.h"
#include "sample/SampleImage.h"
#include "support/ResultFactory.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

using gui::MediaBrowserModel;

// A result of hand-made media files, shown on the media page of a browser
// of its own, on a window of an ordinary size.
struct Browser {
    Browser() : folder(harness.home() + "/source") { fs::create_directories(folder); }

    // A file of the source with the bytes given, listed as a media file.
    std::string addFile(const std::string& relative, const std::string& bytes) {
        const std::string file = folder + "/" + relative;
        writeFile(file, bytes);
        factory.media(relative, file);
        return file;
    }
    std::string addPicture(const std::string& relative, uint8_t red = 200) {
        return addFile(relative, sample::solidColourPng(24, 16, red, 40, 40));
    }
    // The browser is laid out first, as on the page: the tiles then arrive
    // in a grid of its final size.
    void show(int width = 640, int height = 420) {
        view = std::make_unique<gui::MediaBrowser>(harness.app());
        view->resize(width, height);
        view->show();
        waitUntil([&] { return view->isVisible(); }, 1000);
        result = factory.finish(SourceKind::Backup, folder);
        harness.app().resultView().showSource(result);
        pages().showCategory(ResultCategory::Attachments);
        view->reload();
    }
    ResultPages& pages() { return harness.app().resultView().pages(); }
    MediaBrowserModel& model() { return *view->model(); }
    QListView& grid() { return *view->grid(); }
    QModelIndex tile(int row) { return model().index(row); }
    bool inSight(int row) {
        return grid().visualRect(tile(row)).intersects(grid().viewport()->rect());
    }
    void click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        grid().scrollTo(tile(row));
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, modifiers,
                          grid().visualRect(tile(row)).center() + QPoint(0, 20));
    }
    void clickCheckMark(int row) {
        grid().scrollTo(tile(row));
        const QRect check = gui::MediaTileDelegate::checkRect(grid().visualRect(tile(row)));
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::NoModifier, check.center());
    }

    GuiHarness harness{HarnessSources{.itunes = false}};
    std::string folder;
    ResultFactory factory;
    ScanResultPtr result;
    std::unique_ptr<gui::MediaBrowser> view;
};

TEST(MediaBrowser, OnlyTilesInSightAskForTheirPictures) {
    Browser browser;
    constexpr int kTiles = 400;
    for (int i = 0; i < kTiles; ++i) {
        browser.addPicture("Media/pic" + std::to_string(i) + ".jpg", static_cast<uint8_t>(i));
    }
    browser.show();
    MediaBrowserModel& model = browser.model();
    ASSERT_EQ(model.rowCount(), kTiles);
    ASSERT_TRUE(waitUntil(
        [&] { return !model.data(browser.tile(0), Qt::DecorationRole).value<QImage>().isNull(); }));
    const QImage first = model.data(browser.tile(0), Qt::DecorationRole).value<QImage>();
    EXPECT_EQ(first.pixelColor(3, 3), QColor(0, 40, 40));

    const int asked = model.thumbnailRequests();
    EXPECT_GT(asked, 0);
    EXPECT_LT(asked, kTiles / 4) << "pictures were decoded for tiles out of sight";
    for (int row = 0; row < kTiles; ++row) {
        const QString file =
            QString::fromStdString(browser.folder + "/Media/pic" + std::to_string(row) + ".jpg");
        if (model.requestedThumbnails().contains(file)) {
            EXPECT_TRUE(browser.inSight(row)) << "tile " << row << " is out of sight";
        }
    }

    // Scrolled to the end, the last tiles ask; the middle ones never did.
    browser.grid().verticalScrollBar()->setValue(browser.grid().verticalScrollBar()->maximum());
    const QString last = QString::fromStdString(browser.folder + "/Media/pic399.jpg");
    ASSERT_TRUE(waitUntil([&] { return model.requestedThumbnails().contains(last); }));
    const QString middle = QString::fromStdString(browser.folder + "/Media/pic200.jpg");
    EXPECT_FALSE(model.requestedThumbnails().contains(middle));
    EXPECT_LT(model.thumbnailRequests(), kTiles / 2);
}

TEST(MediaBrowser, TilesTellTheirTypeAndFilmsShowTheirPoster) {
    Browser browser;
    browser.addPicture("Media/a.JPG");
    browser.addFile("Media/clip.mp4", "not really a film");
    browser.addFile("Media/clip.thumb", sample::solidColourPng(20, 20, 10, 200, 10));
    browser.addFile("Media/note.opus", "OggS");
    browser.addFile("Media/report.pdf", "%PDF-1.4");
    KTWhatsAppNode card;
    card.chatID = 7;
    card.messageName = browser.factory.text("Bo");
    card.vcardName = browser.factory.text("Bo Lind");
    card.vcardInfo = browser.factory.text("BEGIN:VCARD\nFN:Bo Lind\nEND:VCARD");
    card.bDeleted = true;
    browser.factory.recovered(card);
    KTWhatsAppNode place;
    place.chatID = 7;
    place.messageName = browser.factory.text("Bo");
    place.messageContent = browser.factory.text("here");
    place.locationInfo = browser.factory.text("59.3 18.0");
    place.bDeleted = true;
    browser.factory.recovered(place);
    browser.show();

    MediaBrowserModel& model = browser.model();
    using Kind = MediaBrowserModel::Kind;
    const struct {
        QString name;
        Kind kind;
        QString badge;
        int item;
    } tiles[] = {{"a.JPG", Kind::Picture, "", 0},
                 {"clip.mp4", Kind::Video, "Video", 1},
                 {"clip.thumb", Kind::Picture, "", 2},
                 {"note.opus", Kind::Audio, "Audio", 3},
                 {"report.pdf", Kind::Document, "PDF", 4},
                 {"Bo Lind", Kind::Card, "Card", -1},
                 {"Location", Kind::Location, "Location", -1}};
    ASSERT_EQ(model.rowCount(), 7);
    for (int row = 0; row < 7; ++row) {
        SCOPED_TRACE(row);
        const QModelIndex at = browser.tile(row);
        EXPECT_EQ(at.data(Qt::DisplayRole).toString(), tiles[row].name);
        EXPECT_EQ(at.data(MediaBrowserModel::KindRole).toInt(), static_cast<int>(tiles[row].kind));
        EXPECT_EQ(at.data(MediaBrowserModel::BadgeRole).toString(), tiles[row].badge);
        EXPECT_EQ(at.data(MediaBrowserModel::MediaItemRole).toLongLong(), tiles[row].item);
    }
    EXPECT_EQ(browser.tile(5).data(MediaBrowserModel::TextContentRole).toString(),
              "BEGIN:VCARD\nFN:Bo Lind\nEND:VCARD");
    // The film's tile shows the green poster stored beside it.
    ASSERT_TRUE(waitUntil(
        [&] { return !browser.tile(1).data(Qt::DecorationRole).value<QImage>().isNull(); }));
    EXPECT_EQ(browser.tile(1).data(Qt::DecorationRole).value<QImage>().pixelColor(5, 5),
              QColor(10, 200, 10));
    // Sound files and documents have no picture of their own.
    EXPECT_TRUE(browser.tile(3).data(Qt::DecorationRole).value<QImage>().isNull());
    EXPECT_TRUE(browser.tile(4).data(Qt::DecorationRole).value<QImage>().isNull());
}

TEST(MediaBrowser, CheckMarksMarkTheResourcesRowsAndCountOncePerChange) {
    Browser browser;
    for (int i = 0; i < 5; ++i) {
        browser.addPicture("Media/m" + std::to_string(i) + ".png");
    }
    browser.show();
    QSignalSpy marks(browser.view.get(), &gui::MediaBrowser::marksChanged);
    ResultPages& pages = browser.pages();

    browser.clickCheckMark(1);
    browser.clickCheckMark(3);
    EXPECT_TRUE(pages.isMarked(1));
    EXPECT_TRUE(pages.isMarked(3));
    EXPECT_FALSE(pages.isMarked(0));
    EXPECT_EQ(pages.selectedFilesNum(), 2);
    EXPECT_EQ(pages.selectionLabelText(), "You select 2 files in the recovery results.");
    EXPECT_EQ(marks.count(), 2);
    EXPECT_EQ(browser.tile(1).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    // The check mark is its own control: it neither selects nor previews.
    EXPECT_TRUE(browser.grid().selectionModel()->selectedIndexes().isEmpty());

    // The space bar turns the current tile's mark over.
    browser.grid().setFocus();
    browser.grid().setCurrentIndex(browser.tile(3));
    QTest::keyClick(browser.grid().viewport(), Qt::Key_Space);
    EXPECT_FALSE(pages.isMarked(3));
    EXPECT_EQ(pages.selectedFilesNum(), 1);
    browser.clickCheckMark(1);
    EXPECT_EQ(pages.selectedFilesNum(), 0);
    EXPECT_FALSE(pages.selectionLabelVisible());
    EXPECT_EQ(marks.count(), 4);
    EXPECT_EQ(pages.markedResources().size(), 0u);

    // Select-all of the list elsewhere: the tiles show it after a reload.
    pages.ClickSelectAllResource(true);
    browser.view->reload();
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(browser.tile(row).data(Qt::CheckStateRole).toInt(), Qt::Checked) << row;
    }
}

TEST(MediaBrowser, ChosenTilesAreTheSelectedMediaAndTheCurrentOneShowsItsDetails) {
    Browser browser;
    browser.addPicture("Media/one.jpg");
    browser.addFile("Media/two.pdf", "%PDF");
    browser.addPicture("Media/three.png");
    KTWhatsAppNode card;
    card.chatID = 3;
    card.messageName = browser.factory.text("Cy");
    card.vcardName = browser.factory.text("Cy");
    card.vcardInfo = browser.factory.text("BEGIN:VCARD\nFN:Cy\nEND:VCARD");
    card.bDeleted = true;
    browser.factory.recovered(card);
    browser.show();
    ResultPages& pages = browser.pages();

    browser.click(0);
    browser.click(2, Qt::ControlModifier);
    browser.click(3, Qt::ControlModifier);  // a card: no file of the browser
    std::vector<std::string> chosen;
    for (const IKImageItem& item : pages.selectedMedia()) {
        chosen.push_back(item.fileName->str());
    }
    EXPECT_EQ(chosen, (std::vector<std::string>{"one.jpg", "three.png"}));
    // The last one clicked shows beside the grid, as the pages describe it.
    gui::DetailPane& details = *browser.view->details();
    EXPECT_EQ(pages.selectedRow(), std::optional<size_t>(3));
    EXPECT_EQ(details.visual(), gui::DetailPane::Visual::Text);
    EXPECT_EQ(details.text(), "BEGIN:VCARD\nFN:Cy\nEND:VCARD");
    EXPECT_EQ(details.fields(), QStringList({"File Name: Cy", "File Type: VCard"}));

    browser.click(1);
    EXPECT_EQ(pages.selectedMedia().size(), 1u);
    EXPECT_EQ(details.fields(), QStringList({"File Name: two.pdf", "File Type: pdf"}));
    EXPECT_EQ(details.visual(), gui::DetailPane::Visual::FileIcon);

    // A reload for marks only keeps what was chosen.
    pages.ClickSelectAllResource(true);
    browser.view->reload();
    EXPECT_EQ(pages.selectedMedia().size(), 1u);
    EXPECT_EQ(browser.grid().selectionModel()->selectedIndexes().size(), 1);
}

TEST(MediaBrowser, EnterAndDoubleClickAskForAPreviewOfTheFile) {
    Browser browser;
    const std::string first = browser.addPicture("Media/first.jpg");
    const std::string second = browser.addFile("Media/second.mov", "moov");
    browser.show();
    QSignalSpy previews(browser.view.get(), &gui::MediaBrowser::previewRequested);

    browser.grid().setFocus();
    browser.grid().setCurrentIndex(browser.tile(1));
    QTest::keyClick(browser.grid().viewport(), Qt::Key_Return);
    ASSERT_EQ(previews.count(), 1);
    EXPECT_EQ(previews.at(0).at(0).toString(), QString::fromStdString(second));
    EXPECT_EQ(previews.at(0).at(1).toString(), "second.mov");

    const QPoint middle = browser.grid().visualRect(browser.tile(0)).center() + QPoint(0, 20);
    // As a window system sends it: a click, then the double click.
    QTest::mouseClick(browser.grid().viewport(), Qt::LeftButton, Qt::NoModifier, middle);
    EXPECT_EQ(previews.count(), 1) << "a single click previews nothing";
    QTest::mouseDClick(browser.grid().viewport(), Qt::LeftButton, Qt::NoModifier, middle);
    ASSERT_EQ(previews.count(), 2);
    EXPECT_EQ(previews.at(1).at(0).toString(), QString::fromStdString(first));
}

// A search leaves some of the media rows: the tiles are those rows, and
// each still stands for its own item of the browser.
TEST(MediaBrowser, ASearchResultShowsItsRowsEachStillItsOwnItem) {
    Browser browser;
    for (const char* name : {"cat.jpg", "dog.jpg", "catalogue.pdf", "bird.png"}) {
        browser.addPicture(std::string("Media/") + name);
    }
    browser.show();
    ResultPages& pages = browser.pages();
    const auto& all = pages.lists()->resources;
    pages.showResources({all[2], all[0]});
    browser.view->reload();

    ASSERT_EQ(browser.model().rowCount(), 2);
    EXPECT_EQ(browser.tile(0).data(Qt::DisplayRole).toString(), "catalogue.pdf");
    EXPECT_EQ(browser.tile(0).data(MediaBrowserModel::MediaItemRole).toLongLong(), 2);
    EXPECT_EQ(browser.tile(1).data(MediaBrowserModel::MediaItemRole).toLongLong(), 0);
    browser.click(0);
    ASSERT_EQ(pages.selectedMedia().size(), 1u);
    EXPECT_EQ(pages.selectedMedia()[0].fileName->str(), "catalogue.pdf");

    // Marking a tile of the search marks that record, whatever its place.
    browser.clickCheckMark(1);
    ASSERT_EQ(pages.markedResources().size(), 1u);
    EXPECT_EQ(pages.markedResources()[0]->nodeName.str(), "cat.jpg");

    pages.showResources(all);
    browser.view->reload();
    EXPECT_EQ(browser.model().rowCount(), 4);
    EXPECT_TRUE(pages.selectedMedia().empty()) << "the rows changed, so did the tiles";
}

// The sample backup scanned from the window: its media page is the grid,
// and a tile's check mark counts among the marked files.
TEST(MediaBrowser, AScannedBackupsMediaPageMarksCountInTheSelection) {
    GuiHarness harness;
    AlertAnswerer tip("Ok");
    harness.app().openPanelDidEnd1(harness.backupFolder());
    ASSERT_TRUE(harness.waitForScan());
    gui::ResultsPage& results = harness.window().results();
    ASSERT_TRUE(waitUntil([&] { return results.category() == ResultCategory::Chats; }, 10000));
    ResultPages& pages = harness.app().resultView().pages();
    // The chats page opens its first conversation on a worker that waits
    // for the interface thread: let it finish before the page changes.
    ASSERT_TRUE(waitUntil([&] { return pages.chatView().conversation != nullptr; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return !pages.bstartloadChat(); }, 10000));
    results.showCategory(ResultCategory::Attachments);
    gui::MediaBrowser& browser = *results.mediaBrowser();
    ASSERT_TRUE(waitUntil([&] { return browser.grid()->isVisible(); }, 5000));
    const ScanResultPtr result = harness.app().currentResult();
    ASSERT_TRUE(result);
    ASSERT_GT(result->WhatsAppMediaArray.size(), 1u);
    ASSERT_EQ(static_cast<size_t>(browser.model()->rowCount()), pages.resourceRows().size());
    EXPECT_EQ(browser.model()->index(0).data().toString().toStdString(),
              pages.mediaBroswerArray()[0].fileName->str());

    QListView& grid = *browser.grid();
    const QRect check =
        gui::MediaTileDelegate::checkRect(grid.visualRect(browser.model()->index(0)));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, check.center());
    EXPECT_EQ(pages.selectedFilesNum(), 1);
    EXPECT_EQ(pages.selectionLabelText(), "You select 1 files in the recovery results.");
    ASSERT_EQ(pages.markedResources().size(), 1u);
    EXPECT_EQ(pages.markedResources()[0], pages.resourceRows()[0]);
}

}  // namespace
}  // namespace vessamo::test
