// Voice notes in the conversation view: the play control turns the Ogg
// Opus note into a wav with the program's decoder and hands that to the
// player; the card shows the note's length before it is ever played. No
// assertion depends on a sound card being there.
#include <QFile>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ChatView.h"
#include "ChatViewModel.h"
#include "GuiTestSupport.h"
#include "QtUiPort.h"
#include "VoiceNotePlayer.h"
#include "app/VoiceNoteCommands.h"
#include "export/OpusConversion.h"
#include "results/ResultPages.h"
#include "sample/SampleVoiceNote.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

using gui::ChatViewModel;
using gui::VoiceNotePlayer;
using namespace std::chrono_literals;

// A backup holding one voice note under its file key, and a conversation
// whose only message is that note.
struct VoiceNoteChat {
    VoiceNoteChat() {
        writeFile(noteFile, sample::sampleVoiceNote());
        factory.chat(1, "Ana");
        KTWhatsAppNode& note = factory.message(1, "", Direction::Receive);
        note.attchType = 3;
        note.isHaveAttch = true;
        note.messageAttchpath = factory.text("Media/Ana/voice-note.opus");
        factory.media("Library/Media/Ana/voice-note.opus", noteFile);
        pages.setSource(factory.finish(SourceKind::Backup, folder));
        pages.actClickChat();
        view.showConversationOnceOpened();
        EXPECT_TRUE(waitUntil([&] { return view.model().conversation() != nullptr; }));
        // The wav goes to a folder of this test, not the system's.
        view.player().setConverter([this](const std::string& opus) {
            ++conversions;
            OpusConversionOptions options;
            options.playFolder = playFolder;
            fs::create_directories(playFolder);
            return ConvertOPUStoWAVFileFormat(opus, options);
        });
        view.resize(640, 600);
        view.show();
        waitUntil([&] { return view.isVisible(); }, 1000);
    }
    QModelIndex note() const { return view.model().index(0); }
    void clickPlayControl() {
        const QRect control = view.mediaRect(note());
        ASSERT_FALSE(control.isEmpty());
        // The round button sits at the card's left.
        QTest::mouseClick(view.messageList()->viewport(), Qt::LeftButton, {},
                          QPoint(control.left() + 20, control.center().y()));
    }

    TempHome home;
    std::string folder = home.path() + "/backup";
    std::string noteFile = folder + "/4f/4f0c1d2e3a";  // a backup names files by key
    std::string playFolder = home.path() + "/play";
    int conversions = 0;
    ResultFactory factory;
    gui::QtUiPort ui;
    ResultPages pages{ui};
    gui::ChatView view{pages};
};

TEST(VoiceNote, PlayControlConvertsTheNoteToWavAndPlaysThatFile) {
    VoiceNoteChat chat;
    ASSERT_EQ(chat.note().data(ChatViewModel::KindRole).toInt(),
              static_cast<int>(gui::MessageKind::Audio));
    ASSERT_EQ(chat.note().data(ChatViewModel::MediaPathRole).toString().toStdString(),
              chat.noteFile);
    // The length is read from the note itself, before anything plays.
    EXPECT_EQ(chat.note().data(ChatViewModel::DurationTextRole).toString(), "0:01");

    chat.clickPlayControl();
    const std::string wav = chat.playFolder + "/4f0c1d2e3a.wav";
    ASSERT_TRUE(waitUntil([&] {
        return chat.view.player().source() == QUrl::fromLocalFile(QString::fromStdString(wav));
    })) << "the player never got the converted note";
    EXPECT_EQ(chat.conversions, 1);
    const std::string bytes = readFile(wav);
    ASSERT_GT(bytes.size(), 44U);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 4), "WAVE");
    EXPECT_EQ(chat.view.player().currentFile().toStdString(), chat.noteFile);
    EXPECT_NE(chat.view.player().state(), VoiceNotePlayer::State::Converting);
    // The row follows the player's state, whatever the sound card did.
    EXPECT_EQ(chat.note().data(ChatViewModel::PlayStateRole).toInt(),
              static_cast<int>(chat.view.player().state()));
    // The source is read, never written.
    EXPECT_EQ(readFile(chat.noteFile), sample::sampleVoiceNote());
}

TEST(VoiceNote, ANoteThatIsNotOpusIsRefusedByTheDecoderAndShownAsFailed) {
    VoiceNoteChat chat;
    writeFile(chat.noteFile, "this is not a voice note");
    chat.clickPlayControl();
    ASSERT_TRUE(
        waitUntil([&] { return chat.view.player().state() == VoiceNotePlayer::State::Failed; }));
    EXPECT_EQ(chat.conversions, 1);
    EXPECT_TRUE(chat.view.player().source().isEmpty()) << "nothing converted, nothing to play";
    EXPECT_EQ(chat.note().data(ChatViewModel::PlayStateRole).toInt(),
              static_cast<int>(VoiceNotePlayer::State::Failed));
}

// While the decoder is being fetched the note says so instead of staying
// silent, and pressing play again asks again.
TEST(VoiceNote, WhileTheDecoderIsFetchedTheNoteSaysItWaits) {
    VoiceNoteChat chat;
    chat.view.player().setConverter([&chat](const std::string&) {
        ++chat.conversions;
        WavConversion waiting;
        waiting.awaitingTool = true;
        return waiting;
    });
    chat.clickPlayControl();
    ASSERT_TRUE(waitUntil(
        [&] { return chat.view.player().state() == VoiceNotePlayer::State::WaitingForDecoder; }));
    EXPECT_EQ(chat.note().data(ChatViewModel::PlayStateRole).toInt(),
              static_cast<int>(VoiceNotePlayer::State::WaitingForDecoder));
    EXPECT_TRUE(chat.view.player().source().isEmpty());
    chat.clickPlayControl();
    ASSERT_TRUE(waitUntil([&] { return chat.conversions == 2; }));
}

TEST(VoiceNote, ClicksBesideTheControlPlayNothing) {
    VoiceNoteChat chat;
    const QRect control = chat.view.mediaRect(chat.note());
    const QRect row = chat.view.messageList()->visualRect(chat.note());
    // On the row, right of the received bubble and its card.
    ASSERT_LT(control.right() + 20, row.right());
    QTest::mouseClick(chat.view.messageList()->viewport(), Qt::LeftButton, {},
                      QPoint(row.right() - 10, control.center().y()));
    QTest::qWait(50);
    EXPECT_EQ(chat.conversions, 0);
    EXPECT_EQ(chat.view.player().state(), VoiceNotePlayer::State::Idle);
}

// With no decoder at hand, playing a note fetches one; once it has arrived
// the note is converted into the play folder. The backup it lies in is
// never written, and no folder of ours is shown to the person.
TEST(VoiceNote, ANoteWaitingForTheDecoderIsNeverConvertedIntoTheBackup) {
    TempHome home;
    const std::string backup = home.path() + "/backup";
    const std::string note = backup + "/4f/4f0c1d2e3a";
    writeFile(note, sample::sampleVoiceNote());
    fs::create_directories(home.path() + "/no tools");
    ScopedPath noPackagedDecoder(home.path() + "/no tools");
    RecordingUiPort ui;
    std::atomic<int> downloads{0};
    std::atomic<bool> downloaded{false};
    OpusConversionOptions options;
    options.playFolder = home.path() + "/play";
    fs::create_directories(options.playFolder);
    VoiceNoteCommands notes(ui, {[&] { ++downloads; }, [&] { return downloaded.load(); }}, options);

    const WavConversion waiting = notes.ConvertOPUStoWAVFileFormat(note);
    EXPECT_TRUE(waiting.awaitingTool);
    EXPECT_EQ(downloads.load(), 1);
    ASSERT_TRUE(notes.isWaitingForTool());

    writeFile(decoderToolPath(), "#!/bin/sh\nprintf 'RIFF' > \"$2\"\n");
    downloaded = true;
    for (int i = 0; i < 250 && notes.isWaitingForTool(); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_FALSE(notes.isWaitingForTool());
    // The decoder's file appears before its bytes do: wait for the content.
    const std::string wav = options.playFolder + "/4f0c1d2e3a.wav";
    for (int i = 0; i < 250 && readFile(wav) != "RIFF"; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(readFile(wav), "RIFF");
    size_t filesInBackup = 0;
    for (const auto& entry : fs::recursive_directory_iterator(backup)) {
        filesInBackup += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(filesInBackup, 1U) << "something was written into the backup";
    EXPECT_TRUE(ui.revealedPaths().empty());
}

TEST(VoiceNote, LengthComesFromTheLastOggPageAndOnlyFromOpusFiles) {
    TempHome home;
    const std::string note = home.path() + "/note.opus";
    writeFile(note, sample::sampleVoiceNote());
    const auto length = VoiceNotePlayer::opusDuration(QString::fromStdString(note));
    ASSERT_TRUE(length.has_value());
    EXPECT_NEAR(static_cast<double>(length->count()), 1000.0, 60.0);

    const std::string cut = home.path() + "/cut.opus";
    const std::string whole = sample::sampleVoiceNote();
    writeFile(cut, whole.substr(0, whole.size() - 7));
    EXPECT_FALSE(VoiceNotePlayer::opusDuration(QString::fromStdString(cut)).has_value())
        << "a note cut short has no trustworthy last page";
    const std::string text = home.path() + "/text.opus";
    writeFile(text, "OggS but nothing else of the kind");
    EXPECT_FALSE(VoiceNotePlayer::opusDuration(QString::fromStdString(text)).has_value());
    EXPECT_FALSE(
        VoiceNotePlayer::opusDuration(QString::fromStdString(home.path() + "/none")).has_value());

    const struct {
        std::chrono::milliseconds length;
        const char* text;
    } lengths[] = {{0ms, "0:00"}, {1400ms, "0:01"}, {65'000ms, "1:05"}, {3'723'000ms, "1:02:03"}};
    for (const auto& entry : lengths) {
        EXPECT_EQ(VoiceNotePlayer::durationText(entry.length), entry.text);
    }
    EXPECT_TRUE(VoiceNotePlayer::needsConversion("/b/4f/key", "voice.OPUS"));
    EXPECT_FALSE(VoiceNotePlayer::needsConversion("/b/4f/key", "song.m4a"));
}

}  // namespace
}  // namespace vessamo::test
