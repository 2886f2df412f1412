// The details beside a list: a contact with the picture of its address-book
// entry, a WhatsApp contact with the picture its source holds (or the
// application's own), a media file as a picture, a player or an icon, a
// call's fields; empty fields left out, files reached through links left
// unread.
#include <QImage>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "DetailPane.h"
#include "GuiTestSupport.h"
#include "MediaIcons.h"
#include "MediaSourceRoot.h"
#include "results/DisplayText.h"
#include "results/KTResultViewController.h"
#include "sample/SampleImage.h"
#include "support/ResultFactory.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

using gui::DetailPane;

// A hand-made result with its files in a source folder, and a pane that
// shows the details of one row of one of its lists.
struct Pane {
    Pane() : folder(harness.home() + "/source") { fs::create_directories(folder); }

    std::string addFile(const std::string& relative, const std::string& bytes) {
        const std::string file = folder + "/" + relative;
        writeFile(file, bytes);
        factory.media(relative, file);
        return file;
    }
    // Shows a row of a list the way the page does: the pages select it, the
    // pane shows what they describe.
    void show(ResultCategory category, size_t row = 0) {
        if (!result) {
            result = factory.finish(SourceKind::Backup, folder);
            harness.app().resultView().showSource(result);
        }
        pages().showCategory(category);
        pages().tableViewSelectionDidChange(row);
        view.showDetails(category);
    }
    ResultPages& pages() { return harness.app().resultView().pages(); }
    // Waits for the picture of a file, decoded off the interface thread.
    bool pictureArrives() {
        return waitUntil([&] { return !view.pictureLoading(); }) && !view.picture().isNull();
    }

    GuiHarness harness{HarnessSources{.itunes = false}};
    std::string folder;
    ResultFactory factory;
    ScanResultPtr result;
    DetailPane view{harness.app()};
};

QImage contactImage() {
    return gui::MediaIcons::contact().pixmap(QSize(96, 96)).toImage();
}

TEST(DetailPane, ContactShowsItsPictureNameAndLabelledFieldsLeavingEmptyOnesOut) {
    Pane pane;
    KTContactNode& ana = pane.factory.contact("Ana Berg", "+46 70 123 45 67");
    ana.contactEmail = pane.factory.text("ana@example.com");
    ana.contactCompany = pane.factory.text("Berg & Co");
    ana.contactBirthday = pane.factory.text("1990-04-01");
    ana.contactNote = pane.factory.text("met at the climbing gym");
    ana.imageData = pane.factory.text(sample::solidColourPng(30, 20, 220, 30, 30));
    pane.factory.contact("Bo", "");
    pane.show(ResultCategory::Contacts);

    EXPECT_EQ(pane.view.title(), "Ana Berg");
    EXPECT_EQ(pane.view.fields(),
              QStringList({"+46 70 123 45 67", "Email: ana@example.com", "Company: Berg & Co",
                           "Birthday: 1990-04-01", "met at the climbing gym"}));
    EXPECT_EQ(pane.view.visual(), DetailPane::Visual::Picture);
    // Shown round: the middle of the picture, nothing in the corners.
    const QImage picture = pane.view.picture();
    ASSERT_EQ(picture.size(), QSize(128, 128));
    EXPECT_EQ(picture.pixelColor(64, 64), QColor(220, 30, 30));
    EXPECT_EQ(picture.pixelColor(2, 2).alpha(), 0);
    EXPECT_FALSE(pane.view.previewButton()->isVisibleTo(&pane.view));

    // Without a picture or any field but the name: the application's image.
    pane.show(ResultCategory::Contacts, 1);
    EXPECT_EQ(pane.view.title(), "Bo");
    EXPECT_TRUE(pane.view.fields().isEmpty());
    EXPECT_EQ(pane.view.picture(), contactImage());
}

TEST(DetailPane, WhatsAppContactShowsThePictureItsSourceHoldsThenPhoneAndStatus) {
    Pane pane;
    pane.addFile("Media/Profile/4915-pic.thumb", sample::solidColourPng(40, 40, 20, 160, 220));
    KTWhatsAppFavContact& eva = pane.factory.favourite("Eva", "4915111");
    eva.contactImagePath = pane.factory.text("Media/Profile/4915-pic");  // only ".thumb" exists
    eva.contactStatu = pane.factory.text("Hey there");
    KTWhatsAppFavContact& noPicture = pane.factory.favourite("Finn", "4915222");
    noPicture.contactImagePath = pane.factory.text("Media/Profile/missing");
    pane.show(ResultCategory::Favorites);

    EXPECT_EQ(pane.view.title(), "Eva");
    EXPECT_EQ(pane.view.fields(), QStringList({"Phone: 4915111", "Status: Hey there"}));
    ASSERT_TRUE(pane.pictureArrives());
    EXPECT_EQ(pane.view.picture().pixelColor(64, 64), QColor(20, 160, 220));
    EXPECT_EQ(pane.view.picture().size(), QSize(128, 128));

    pane.show(ResultCategory::Favorites, 1);
    EXPECT_EQ(pane.view.title(), "Finn");
    EXPECT_EQ(pane.view.fields(), QStringList({"Phone: 4915222"}));  // no status: left out
    EXPECT_EQ(pane.view.picture(), contactImage());
}

TEST(DetailPane, MediaFilesShowAsPictureMovieTextOrIconWithNameAndType) {
    Pane pane;
    const std::string photo = pane.addFile("Media/a.png", sample::solidColourPng(50, 30, 1, 2, 3));
    const std::string film = pane.addFile("Media/b.mp4", "not a real film");
    pane.addFile("Media/c.zip", "PK");
    KTWhatsAppNode place;
    place.chatID = 2;
    place.messageName = pane.factory.text("Gus");
    place.locationInfo = pane.factory.text("59.33 18.06");
    place.bDeleted = true;
    pane.factory.recovered(place);

    pane.show(ResultCategory::Attachments, 0);
    EXPECT_EQ(pane.view.fields(), QStringList({"File Name: a.png", "File Type: Photo"}));
    EXPECT_TRUE(pane.view.title().isEmpty());
    ASSERT_TRUE(pane.pictureArrives());
    EXPECT_EQ(pane.view.picture().size(), QSize(50, 30));
    EXPECT_EQ(pane.view.picture().pixelColor(10, 10), QColor(1, 2, 3));
    QSignalSpy previews(&pane.view, &DetailPane::previewRequested);
    pane.view.previewButton()->click();
    ASSERT_EQ(previews.count(), 1);
    EXPECT_EQ(previews.at(0).at(0).toString(), QString::fromStdString(photo));
    EXPECT_EQ(previews.at(0).at(1).toString(), "a.png");

    pane.show(ResultCategory::Attachments, 1);
    EXPECT_EQ(pane.view.fields(), QStringList({"File Name: b.mp4", "File Type: Video"}));
    EXPECT_EQ(pane.view.visual(), DetailPane::Visual::Movie);
    ASSERT_NE(pane.view.player(), nullptr);
    EXPECT_EQ(pane.view.player()->source(),
              QUrl::fromLocalFile(QString::fromStdString(fs::canonical(film).string())));

    pane.show(ResultCategory::Attachments, 2);
    EXPECT_EQ(pane.view.fields(), QStringList({"File Name: c.zip", "File Type: zip"}));
    EXPECT_EQ(pane.view.visual(), DetailPane::Visual::FileIcon);
    EXPECT_TRUE(pane.view.player()->source().isEmpty()) << "the film went on playing";

    pane.show(ResultCategory::Attachments, 3);
    EXPECT_EQ(pane.view.fields(), QStringList({"File Name: Location", "File Type: Location"}));
    EXPECT_EQ(pane.view.visual(), DetailPane::Visual::Text);
    EXPECT_EQ(pane.view.text(), "59.33 18.06");
    EXPECT_FALSE(pane.view.previewButton()->isVisibleTo(&pane.view));
}

// A backup's files that are links point anywhere: neither the picture nor
// the film behind one is read.
TEST(DetailPane, MediaFilesThatAreLinksAreNeitherDecodedNorPlayed) {
    Pane pane;
    const std::string outside = pane.harness.home() + "/outside";
    writeFile(outside + "/secret.png", sample::solidColourPng(40, 40, 9, 9, 9));
    writeFile(outside + "/secret.mp4", "film");
    fs::create_directories(pane.folder + "/Media");
    fs::create_symlink(outside + "/secret.png", pane.folder + "/Media/l.png");
    fs::create_symlink(outside + "/secret.mp4", pane.folder + "/Media/l.mp4");
    pane.factory.media("Media/l.png", pane.folder + "/Media/l.png");
    pane.factory.media("Media/l.mp4", pane.folder + "/Media/l.mp4");

    pane.show(ResultCategory::Attachments, 1);
    EXPECT_TRUE(pane.view.player() == nullptr || pane.view.player()->source().isEmpty());
    EXPECT_EQ(pane.view.visual(), DetailPane::Visual::FileIcon);

    pane.show(ResultCategory::Attachments, 0);
    ASSERT_TRUE(pane.pictureArrives());
    EXPECT_NE(pane.view.picture().pixelColor(20, 20), QColor(9, 9, 9));
    EXPECT_EQ(
        pane.view.picture(),
        gui::MediaIcons::of(gui::MediaBrowserModel::Kind::Picture).pixmap(QSize(96, 96)).toImage());
}

TEST(DetailPane, ConfinedFilesAreRegularFilesBelowTheRootReachedWithoutLinks) {
    TempHome home;
    const std::string root = home.path() + "/root";
    writeFile(root + "/Media/a.mp4", "x");
    writeFile(home.path() + "/elsewhere/b.mp4", "y");
    fs::create_directory_symlink(home.path() + "/elsewhere", root + "/Linked");
    fs::create_symlink(root + "/Media/a.mp4", root + "/Media/alias.mp4");
    const QString qroot = QString::fromStdString(root);
    const auto confined = [&](const std::string& file) {
        return gui::confinedFile(QString::fromStdString(file), qroot);
    };
    ASSERT_TRUE(confined(root + "/Media/a.mp4").has_value());
    EXPECT_EQ(*confined(root + "/Media/a.mp4"),
              QString::fromStdString(fs::canonical(root + "/Media/a.mp4").string()));
    EXPECT_FALSE(confined(root + "/Linked/b.mp4"));     // a folder link on the way
    EXPECT_FALSE(confined(root + "/Media/alias.mp4"));  // the file is a link
    EXPECT_FALSE(confined(root + "/Media"));            // a folder
    EXPECT_FALSE(confined(root + "/../elsewhere/b.mp4"));
    EXPECT_FALSE(confined(home.path() + "/elsewhere/b.mp4"));
    EXPECT_FALSE(confined(root + "/Media/none.mp4"));
}

TEST(DetailPane, CallShowsWhoNumberDirectionDateAndDuration) {
    Pane pane;
    KTCallHistoryNode& known = pane.factory.call("Ida", "4917700@s.whatsapp.net");
    known.callType = "Outgoing";
    known.callDuration = pane.factory.text("01:05");
    known.callDate = AppleTime{700'000'000};
    KTCallHistoryNode& unknown = pane.factory.call("", "4917800");
    unknown.callType = "Incoming";
    unknown.callDuration = "Missed";
    pane.show(ResultCategory::Calls);

    EXPECT_EQ(pane.view.title(), "Ida");
    const QString date = QString::fromStdString(callDateText(AppleTime{700'000'000}));
    EXPECT_EQ(pane.view.fields(), QStringList({"Number: 4917700", "Direction: Outgoing",
                                               "Date: " + date, "Duration: 01:05"}));

    pane.show(ResultCategory::Calls, 1);
    EXPECT_EQ(pane.view.title(), "4917800");
    EXPECT_EQ(pane.view.fields(), QStringList({"Direction: Incoming", "Duration: Missed"}));
}

}  // namespace
}  // namespace vessamo::test
