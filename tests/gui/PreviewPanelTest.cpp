// The preview panel: a picture of the source scaled into the panel, a
// picture outside the source never shown, Save copying the file to the
// desktop folder without ever replacing a file already there (and saying
// so), Escape closing the panel.
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "PreviewPanel.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

using gui::PreviewPanel;

// The program with no source of its own; a backup folder of the test's
// making is put on the result pages when a test needs one.
struct Panel {
    Panel() : panel(harness.app(), &harness.window()) {}
    void showSource() {
        harness.app().resultView().pages().setSource(factory.finish(SourceKind::Backup, folder));
    }
    bool saveAndWait(QSignalSpy& finished) {
        panel.saveButton()->click();
        return waitUntil([&] { return finished.count() > 0; });
    }

    GuiHarness harness{HarnessSources{.itunes = false}};
    std::string folder = harness.home() + "/backup";
    std::string desktop = harness.home() + "/desktop";
    ResultFactory factory;
    PreviewPanel panel;
};

TEST(PreviewPanel, SaveCopiesTheFileToTheDesktopFolderAndCloses) {
    Panel test;
    const std::string file = test.folder + "/7a/7a91b2";
    writeFile(file, std::string("\x00\x01video bytes\xff", 14));
    test.panel.preview(QString::fromStdString(file), "surf.mp4");
    ASSERT_TRUE(test.panel.isVisible());
    EXPECT_EQ(test.panel.look(), PreviewPanel::Look::Movie);
    EXPECT_TRUE(test.panel.playButton()->isVisible());

    QSignalSpy finished(&test.panel, &PreviewPanel::saveFinished);
    ASSERT_TRUE(test.saveAndWait(finished));
    EXPECT_FALSE(test.panel.isVisible());
    EXPECT_EQ(finished[0][0].toString().toStdString(), test.desktop + "/surf.mp4");
    EXPECT_TRUE(finished[0][1].toBool());
    EXPECT_EQ(readFile(test.desktop + "/surf.mp4"), std::string("\x00\x01video bytes\xff", 14));
    EXPECT_EQ(readFile(file), std::string("\x00\x01video bytes\xff", 14));
}

TEST(PreviewPanel, AFileAlreadyOnTheDesktopIsKeptAndThePersonIsTold) {
    Panel test;
    const std::string file = test.folder + "/7a/7a91b2";
    writeFile(file, "the photo from the backup");
    writeFile(test.desktop + "/photo.jpg", "the person's own photo");
    AlertAnswerer told("OK");
    test.panel.preview(QString::fromStdString(file), "photo.jpg");
    QSignalSpy finished(&test.panel, &PreviewPanel::saveFinished);
    ASSERT_TRUE(test.saveAndWait(finished));
    EXPECT_FALSE(finished[0][1].toBool());
    ASSERT_TRUE(told.wait()) << "the clash was passed over in silence";
    EXPECT_TRUE(told.alert().text.contains("“photo.jpg” is already on your Desktop"))
        << told.alert().text.toStdString();
    EXPECT_TRUE(told.alert().detail.contains("kept")) << told.alert().detail.toStdString();
    EXPECT_EQ(readFile(test.desktop + "/photo.jpg"), "the person's own photo");
    EXPECT_EQ(fs::directory_iterator(test.desktop)->path().filename(), "photo.jpg");
    EXPECT_EQ(std::distance(fs::directory_iterator(test.desktop), fs::directory_iterator()), 1);
}

TEST(PreviewPanel, ANameFromThePhoneCannotLeadTheCopyOutOfTheDesktopFolder) {
    Panel test;
    const std::string file = test.folder + "/7a/7a91b2";
    writeFile(file, "bytes");
    test.panel.preview(QString::fromStdString(file), "../escaped.txt");
    QSignalSpy finished(&test.panel, &PreviewPanel::saveFinished);
    ASSERT_TRUE(test.saveAndWait(finished));
    EXPECT_TRUE(finished[0][1].toBool());
    EXPECT_FALSE(fs::exists(test.harness.home() + "/escaped.txt"));
    const std::string saved = finished[0][0].toString().toStdString();
    EXPECT_EQ(fs::path(saved).parent_path(), fs::path(test.desktop));
    EXPECT_EQ(readFile(saved), "bytes");
}

TEST(PreviewPanel, APictureOfTheSourceIsScaledToFitAndOneOutsideItIsNotShown) {
    Panel test;
    fs::create_directories(test.folder + "/ab");
    QImage wide(1600, 400, QImage::Format_RGB32);
    wide.fill(Qt::darkGreen);
    const std::string picture = test.folder + "/ab/abc123";
    ASSERT_TRUE(wide.save(QString::fromStdString(picture), "PNG"));
    const std::string outside = test.harness.home() + "/private.png";
    ASSERT_TRUE(wide.save(QString::fromStdString(outside), "PNG"));
    fs::create_symlink(outside, test.folder + "/ab/link");
    test.showSource();

    test.panel.resize(640, 480);
    test.panel.preview(QString::fromStdString(picture), "IMG_0001.JPG");
    EXPECT_EQ(test.panel.look(), PreviewPanel::Look::Picture);
    EXPECT_FALSE(test.panel.playButton()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !test.panel.picture().isNull(); }));
    EXPECT_EQ(test.panel.picture().size(), QSize(1600, 400));
    auto* image = test.panel.findChild<QLabel*>("previewImage");
    ASSERT_NE(image, nullptr);
    const QPixmap shown = image->pixmap();
    ASSERT_FALSE(shown.isNull());
    const QSizeF onScreen = shown.deviceIndependentSize();
    EXPECT_LE(onScreen.width(), image->width());
    EXPECT_LE(onScreen.height(), image->height());
    EXPECT_NEAR(onScreen.width() / onScreen.height(), 4.0, 0.05) << "the picture was distorted";

    test.panel.preview(QString::fromStdString(test.folder + "/ab/link"), "link.jpg");
    ASSERT_TRUE(waitUntil([&] { return image->text() == "This picture cannot be shown."; }));
    EXPECT_TRUE(test.panel.picture().isNull());
    EXPECT_TRUE(image->pixmap().isNull());
}

TEST(PreviewPanel, EscapeClosesThePanel) {
    Panel test;
    const std::string file = test.folder + "/7a/7a91b2";
    writeFile(file, "a document");
    test.panel.preview(QString::fromStdString(file), "notes.pdf");
    ASSERT_TRUE(test.panel.isVisible());
    EXPECT_EQ(test.panel.look(), PreviewPanel::Look::Other);
    QTest::keyClick(&test.panel, Qt::Key_Escape);
    EXPECT_FALSE(test.panel.isVisible());
    EXPECT_FALSE(fs::exists(test.desktop)) << "closing saved something";
}

}  // namespace
}  // namespace vessamo::test
