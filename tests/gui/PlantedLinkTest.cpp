// A backup is somebody else's folder: a link planted at a media file's
// place, or a folder link on the way to it, points wherever its maker
// wished, outside the backup or back into it. The window shows, plays and
// converts only regular files reached inside the backup without a link.
#include <QImage>
#include <QLabel>
#include <QMediaPlayer>
#include <QPushButton>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "ChatView.h"
#include "ChatViewModel.h"
#include "GuiTestSupport.h"
#include "PreviewPanel.h"
#include "ThumbnailCache.h"
#include "VoiceNotePlayer.h"
#include "sample/SampleImage.h"
#include "sample/SampleVoiceNote.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

using gui::ChatViewModel;
using gui::PreviewPanel;
using gui::VoiceNotePlayer;

// Files of the backup are "ab/<name>"; "cd" is a folder link to "ab", "ef"
// one to a folder outside, and "ab/link" a link to a picture outside. The
// catalogue leaves out a file that is itself a link; one reached through a
// folder link is for the window to refuse.
struct PlantedBackup {
    PlantedBackup() {
        writeFile(folder + "/ab/picture", sample::solidColourPng(64, 48, 10, 20, 30));
        writeFile(outside + "/secret.png", sample::solidColourPng(64, 48, 9, 9, 9));
        writeFile(outside + "/secret.opus", sample::sampleVoiceNote());
        writeFile(outside + "/secret.mp4", "film");
        fs::create_symlink(outside + "/secret.png", folder + "/ab/link");
        fs::create_directory_symlink(folder + "/ab", folder + "/cd");
        fs::create_directory_symlink(outside, folder + "/ef");
        factory.chat(1, "Ana");
    }
    // A message of the chat whose file the backup keeps at `at`.
    void attach(int32_t type, const std::string& name, const std::string& at) {
        KTWhatsAppNode& message = factory.message(1, "", Direction::Receive);
        message.attchType = type;
        message.isHaveAttch = true;
        message.messageAttchpath = factory.text("Media/" + name);
        factory.media("Library/Media/" + name, folder + "/" + at);
    }
    void open() {
        pages.setSource(factory.finish(SourceKind::Backup, folder));
        pages.actClickChat();
        chat.showConversationOnceOpened();
        ASSERT_TRUE(waitUntil([&] { return chat.model().conversation() != nullptr; }));
        chat.player().setConverter([this](const std::string&) {
            ++conversions;
            return WavConversion{};
        });
    }
    [[nodiscard]] QVariant data(int row, int role) const {
        return chat.model().data(chat.model().index(row), role);
    }
    [[nodiscard]] QString file(int row) const {
        return data(row, ChatViewModel::MediaPathRole).toString();
    }

    GuiHarness harness{HarnessSources{.itunes = false}};
    std::string folder = harness.home() + "/backup";
    std::string outside = harness.home() + "/outside";
    ResultFactory factory;
    ResultPages& pages = harness.app().resultView().pages();
    gui::ChatView chat{pages};
    PreviewPanel panel{harness.app(), &harness.window()};
    int conversions = 0;
};

TEST(PlantedLink, APictureBehindALinkIsNeitherThumbnailedNorPreviewed) {
    PlantedBackup backup;
    backup.attach(1, "a.jpg", "ab/picture");
    backup.attach(1, "b.jpg", "ef/secret.png");
    backup.attach(1, "c.jpg", "cd/picture");  // the real picture, through a folder link
    backup.open();
    gui::ThumbnailCache& cache = backup.chat.thumbnails();
    for (int row = 0; row < 3; ++row) {
        (void)backup.data(row, ChatViewModel::ThumbnailRole);  // asks for the decoding
    }
    ASSERT_TRUE(waitUntil([&] {
        return cache.contains(backup.file(0)) && cache.failed(backup.file(1)) &&
               cache.failed(backup.file(2));
    }));
    EXPECT_EQ(backup.data(0, ChatViewModel::ThumbnailRole).value<QImage>().pixelColor(5, 5),
              QColor(10, 20, 30));
    EXPECT_TRUE(backup.data(1, ChatViewModel::ThumbnailRole).value<QImage>().isNull());
    EXPECT_TRUE(backup.data(2, ChatViewModel::ThumbnailRole).value<QImage>().isNull());

    auto* image = backup.panel.findChild<QLabel*>("previewImage");
    ASSERT_NE(image, nullptr);
    for (const QString& file :
         {backup.file(1), backup.file(2), QString::fromStdString(backup.folder + "/ab/link")}) {
        backup.panel.preview(file, "linked.jpg");
        ASSERT_TRUE(waitUntil([&] { return image->text() == "This picture cannot be shown."; }))
            << file.toStdString();
        EXPECT_TRUE(backup.panel.picture().isNull());
        EXPECT_TRUE(image->pixmap().isNull());
    }
    backup.panel.preview(backup.file(0), "a.jpg");
    ASSERT_TRUE(waitUntil([&] { return !backup.panel.picture().isNull(); }));
    EXPECT_EQ(backup.panel.picture().pixelColor(5, 5), QColor(10, 20, 30));
}

// The decoder and the media player are separate programs that would open
// a path, links and all: neither is ever given one of these.
TEST(PlantedLink, ANoteOrFilmBehindALinkIsNeitherConvertedNorPlayed) {
    PlantedBackup backup;
    backup.attach(3, "note.opus", "ef/secret.opus");
    backup.attach(2, "film.mp4", "ef/secret.mp4");
    backup.open();
    ASSERT_FALSE(backup.file(0).isEmpty());
    EXPECT_EQ(backup.data(0, ChatViewModel::DurationTextRole).toString(), "")
        << "the note behind the link was read for its length";

    backup.chat.activate(backup.chat.model().index(0));
    ASSERT_TRUE(
        waitUntil([&] { return backup.chat.player().state() == VoiceNotePlayer::State::Failed; }));
    EXPECT_EQ(backup.conversions, 0) << "the decoder was handed the note behind the link";
    EXPECT_TRUE(backup.chat.player().source().isEmpty());

    backup.panel.preview(backup.file(1), "film.mp4");
    ASSERT_EQ(backup.panel.look(), PreviewPanel::Look::Movie);
    backup.panel.playButton()->click();
    EXPECT_TRUE(backup.panel.moviePlayer() == nullptr ||
                backup.panel.moviePlayer()->source().isEmpty());
    auto* other = backup.panel.findChild<QLabel*>("previewOther");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->text(), "This film cannot be played.");
}

}  // namespace
}  // namespace vessamo::test
