#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "app/OrlendoAppDelegate.h"
#include "app/VoiceNoteCommands.h"
#include "common/SqliteDatabase.h"
#include "export/HtmlText.h"
#include "export/OpusConversion.h"
#include "sample/SampleVoiceNote.h"
#include "support/QueuedUiPort.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kChats = 3;
constexpr int kMessagesPerChat = 400;
constexpr int32_t kRecoveredChat = 77;

size_t filesIn(const std::string& folder, const std::string& extension) {
    const std::set<std::string> names = test::namesIn(folder, true);
    return std::count_if(names.begin(), names.end(), [&](const std::string& name) {
        return fs::path(name).extension() == extension;
    });
}

// A result made by hand and made the controller's current source, with a
// real main thread (the test's) that the workers queue their interface
// work for.
class ExportCommands : public ::testing::Test {
protected:
    void SetUp() override {
        for (int chat = 1; chat <= kChats; ++chat) {
            factory.chat(chat, "Chat " + std::to_string(chat), "4917000000" + std::to_string(chat));
            for (int i = 0; i < kMessagesPerChat; ++i) {
                factory.message(chat, "message " + std::to_string(i),
                                i % 2 == 0 ? Direction::Send : Direction::Receive,
                                AppleTime{660000000 + i * 60});
            }
        }
        KTWhatsAppNode lost;
        lost.chatID = kRecoveredChat;
        lost.messageContent = factory.text("<b>still here</b>");
        lost.messageNumb = factory.text("4917012345");
        lost.messageType = Direction::Receive;
        lost.bDeleted = true;
        factory.recovered(lost);
        factory.contact("Anna Schmidt", "+49 170 1111111");
        factory.contact("Ben Meyer", "+49 170 2222222");
        factory.favourite("Anna", "491701111111@s.whatsapp.net");
        factory.favourite("Ben", "491702222222@s.whatsapp.net");
        for (const char* name : {"Anna", "Ben", "Carla"}) {
            factory.call(name, "4917033333");
        }
        photo = home.path() + "/backup/photo.jpg";
        test::writeFile(photo, std::string(4096, 'p'));
        factory.media("Message/Media/4917000001@s.whatsapp.net/a/photo.jpg", photo);
        factory.state().currentScanPath = writeDatabase(home.path() + "/backup/ChatStorage.sqlite");

        auto record = std::make_shared<KTIOSDeviceNode>();
        record->backUpFilePath = home.path() + "/backup";
        record->scanResult = factory.finish(SourceKind::Backup, record->backUpFilePath);
        record->bhasScanCompleted = true;
        controller.currentNode = record;
        controller.showScannedResults();
        ui.saveAnswer = out;
    }

    // Nothing may be left waiting for the main thread when the test ends.
    void TearDown() override { settle(); }

    static std::string writeDatabase(const std::string& path) {
        SqliteDatabase db;
        EXPECT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        EXPECT_EQ(db.execute("CREATE TABLE t(x); INSERT INTO t VALUES ('row');"), SQLITE_OK);
        return path;
    }

    // Runs the main thread until no worker has anything left for it.
    void settle() {
        const auto busy = [this] {
            return commands().isExporting() || controller.isScanning() || pages().bstartloadChat();
        };
        for (int i = 0; i < 20000 && busy(); ++i) {
            ui.pump();
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(busy());
    }

    bool exportAndWait(ExportButton button) {
        const bool started = commands().KTExportButtonMouseDownHandle(button);
        settle();
        return started;
    }

    ResultExportCommands& commands() { return controller.exportCommands(); }
    ResultPages& pages() { return controller.resultView().pages(); }
    const ScanResult& result() { return *controller.currentNode->scanResult; }

    test::TempHome home;
    std::string out = home.path() + "/out";
    std::string photo;
    test::ResultFactory factory;
    test::QueuedUiPort ui;
    NotificationCenter center;
    OrlendoAppDelegate controller{ui, center, OrlendoAppDelegate::Options{}};
};

TEST_F(ExportCommands, NothingIsWrittenWithoutAResultOrADestination) {
    ui.saveAnswer.reset();
    EXPECT_FALSE(commands().KTExportButtonMouseDownHandle(ExportButton::exportContactBtn));
    ASSERT_EQ(ui.savePanels.size(), 1u);
    EXPECT_EQ(ui.savePanels[0].startFolder, home.path() + "/Documents");
    EXPECT_EQ(ui.savePanels[0].proposedName, "Vessamo");

    ui.saveAnswer = out;
    controller.currentNode = std::make_shared<KTIOSDeviceNode>();  // never scanned
    EXPECT_FALSE(commands().KTExportButtonMouseDownHandle(ExportButton::exportContactBtn));
    EXPECT_EQ(ui.savePanels.size(), 1u);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(commands().finishedExports().empty());
}

TEST_F(ExportCommands, AnExportIntoItsSourceIsRefusedWithAnAlert) {
    const auto before = test::treeDigest(home.path() + "/backup");
    fs::create_directory_symlink(home.path() + "/backup", home.path() + "/another name");
    // Inside the source, the same by another name, and a folder holding it.
    const std::vector<std::string> refused = {home.path() + "/backup/Exports",
                                              home.path() + "/another name/Exports", home.path()};
    for (const std::string& destination : refused) {
        ui.saveAnswer = destination;
        EXPECT_FALSE(commands().KTExportButtonMouseDownHandle(ExportButton::exportChatTxtBtn))
            << destination;
    }
    ASSERT_EQ(ui.alerts.size(), refused.size());
    EXPECT_NE(ui.alerts[0].detail.find("lies inside the source"), std::string::npos);
    EXPECT_NE(ui.alerts[1].detail.find("lies inside the source"), std::string::npos);
    EXPECT_NE(ui.alerts[2].detail.find("holds the source"), std::string::npos);
    EXPECT_EQ(test::treeDigest(home.path() + "/backup"), before);
    EXPECT_TRUE(commands().finishedExports().empty());
}

TEST_F(ExportCommands, ChatPagesOfTheSelectedAndMarkedChatsCountAndShowTheirFolder) {
    pages().actClickChat();  // opens the first row
    settle();
    pages().setMarked({1}, true);
    ASSERT_TRUE(exportAndWait(ExportButton::exportChatHtmlBtn));

    EXPECT_EQ(commands().recoverPath(), out);
    EXPECT_EQ(commands().recovredFilesNum(), 2);
    EXPECT_EQ(ui.revealedPaths(), std::vector<std::string>{out + "/Chats"});
    const std::vector<FinishedExport> done = commands().finishedExports();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0].report.failures.empty());
    EXPECT_EQ(filesIn(out + "/Chats", ".html"), 2u);
}

// The export reads the result on its worker while the main thread opens a
// chat and its opener reads the same result: nothing is written by either.
TEST_F(ExportCommands, AChatOpensWhileEveryChatIsExported) {
    pages().actClickChat();
    settle();
    pages().ClickSelectAllChatMessage(true);
    const size_t chats = pages().chatRows().size();
    ASSERT_EQ(chats, static_cast<size_t>(kChats + 1));  // the recovered-only chat too
    ASSERT_TRUE(commands().KTExportButtonMouseDownHandle(ExportButton::exportChatHtmlBtn));
    pages().tableViewSelectionDidChange(1);
    settle();

    const ChatView& opened = pages().chatView();
    ASSERT_EQ(opened.conversation, pages().chatRows()[1]);
    const MessageRange all = result().messagesOf(*opened.conversation);
    ASSERT_EQ(opened.shown.size(), static_cast<size_t>(ResultPages::kPreviewCount));
    EXPECT_EQ(opened.shown.back().messageContent, all.back().messageContent);
    EXPECT_EQ(commands().recovredFilesNum(), static_cast<int32_t>(chats));
    EXPECT_EQ(filesIn(out + "/Chats", ".html"), chats);
}

TEST_F(ExportCommands, EachListCommandShowsItsOwnFolderAndCountsItsItems) {
    ASSERT_TRUE(exportAndWait(ExportButton::exportContactBtn));
    ASSERT_TRUE(exportAndWait(ExportButton::exportFavContactBtn));
    ASSERT_TRUE(exportAndWait(ExportButton::exportCallBtn));
    pages().actClickResource();  // fills the media browser
    settle();
    ASSERT_TRUE(exportAndWait(ExportButton::exportAllPhotosBtn));
    EXPECT_EQ(ui.revealedPaths(),
              (std::vector<std::string>{out + "/Contact", out + "/Favorites Contact",
                                        out + "/Call History", out + "/Media Files/Photos"}));
    EXPECT_TRUE(fs::is_regular_file(out + "/Call History/WhatsApp Call.txt"));
    EXPECT_EQ(filesIn(out + "/Contact", ".vcf"), 2u);
    EXPECT_EQ(test::readFile(out + "/Media Files/Photos/photo.jpg"), test::readFile(photo));
    // Contacts, WhatsApp contacts and calls count their items; media do not.
    EXPECT_EQ(commands().recovredFilesNum(), 2 + 2 + 3);
}

TEST_F(ExportCommands, RecoveryWritesTheMarkedRecordsAndOnlyRecoveredChats) {
    pages().actClickChat();
    settle();
    const auto& rows = pages().chatRows();
    const auto recovered =
        std::find_if(rows.begin(), rows.end(), [](const auto* chat) { return chat->bDeleted; });
    ASSERT_NE(recovered, rows.end());
    pages().setMarked({0, static_cast<size_t>(recovered - rows.begin())}, true);
    pages().actContact();
    pages().setMarked({0}, true);
    pages().actClickResource();
    settle();
    pages().setMarked({0}, true);  // the photo, whose listed size is no size at all
    ASSERT_TRUE(exportAndWait(ExportButton::recoveryBtn));

    ASSERT_EQ(ui.savePanels.size(), 1u);
    EXPECT_TRUE(std::regex_match(ui.savePanels[0].proposedName,
                                 std::regex(R"(Vessamo \d{4}-\d\d-\d\d - \d\d\.\d\d\.\d\d)")))
        << ui.savePanels[0].proposedName;
    EXPECT_EQ(ui.revealedPaths(), std::vector<std::string>{out});
    EXPECT_TRUE(fs::is_regular_file(out + "/Contact/Contacts.txt"));
    EXPECT_EQ(test::readFile(out + "/Resource/photo.jpg"), std::string(4096, 'p'));
    // The live chat is no recovered one: one page, never split, text escaped.
    ASSERT_EQ(filesIn(out + "/Chats", ".html"), 1u);
    for (const auto& entry : fs::directory_iterator(out + "/Chats")) {
        if (entry.path().extension() != ".html") {
            continue;
        }
        EXPECT_EQ(entry.path().filename().string().find('_'), std::string::npos);
        const std::string page = test::readFile(entry.path().string());
        EXPECT_EQ(page.substr(0, 2), "\xFF\xFE");
        EXPECT_NE(page.find(utf16LeWithBom("&lt;b&gt;still here&lt;/b&gt;").substr(2)),
                  std::string::npos);
    }
    const std::vector<FinishedExport> done = commands().finishedExports();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0].report.failures.empty()) << done[0].report.failures.front();
}

TEST_F(ExportCommands, NoScanStartsWhileAnExportRuns) {
    ASSERT_TRUE(commands().KTExportButtonMouseDownHandle(ExportButton::exportContactBtn));
    ui.waitForQueued(1);  // at its last step, showing its folder
    EXPECT_TRUE(commands().isExporting());
    EXPECT_FALSE(controller.ScanIOSBackFile(home.path() + "/backup"));
    ASSERT_FALSE(ui.alerts.empty());
    EXPECT_EQ(ui.alerts.back().title,
              "An export is still running. Wait until it has finished, then start the scan.");
    settle();
    EXPECT_FALSE(commands().isExporting());
    EXPECT_TRUE(controller.ScanIOSBackFile(home.path() + "/backup"));
    settle();
}

TEST_F(ExportCommands, TheCharacterViewShowsTheScannedDatabaseAndItsExportOpens) {
    const std::string view = commands().ClickNewHexWindowAction();
    ASSERT_FALSE(view.empty());
    EXPECT_EQ(view.substr(0, 15), "SQLite format 3");
    EXPECT_TRUE(
        std::all_of(view.begin(), view.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }));

    commands().actExportImage(view);
    settle();
    EXPECT_EQ(test::readFile(home.path() + "/Documents/hexFile.txt"), view);
    EXPECT_EQ(ui.opened, std::vector<std::string>{home.path() + "/Documents/hexFile.txt"});
    EXPECT_TRUE(ui.revealedPaths().empty());
}

// --- Voice notes -------------------------------------------------------------

class VoiceNotes : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeFile(input, sample::sampleVoiceNote());
        fs::create_directories(home.path() + "/no tools");
    }

    // The tool arriving: a decoder that writes its second argument.
    void deliverTool() {
        test::writeFile(decoderToolPath(), "#!/bin/sh\nprintf 'RIFF' > \"$2\"\n");
        downloaded = true;
    }

    test::TempHome home;
    test::RecordingUiPort ui;
    test::ScopedPath noPackagedDecoder{home.path() + "/no tools"};
    std::string input = home.path() + "/notes/it's \"a\" note.opus";
    std::atomic<int> downloads{0};
    std::atomic<bool> downloaded{false};
    VoiceNoteCommands::Hooks hooks{[this] { ++downloads; }, [this] { return downloaded.load(); }};
};

TEST_F(VoiceNotes, AMissingToolIsFetchedAndTheNoteConvertedBesideItOnceItArrives) {
    VoiceNoteCommands notes(ui, hooks);
    const WavConversion waiting = notes.ConvertSaveOPUSFiletoWAVFileFormat(input);
    EXPECT_TRUE(waiting.awaitingTool);
    EXPECT_EQ(waiting.path, input);
    EXPECT_EQ(downloads.load(), 1);
    EXPECT_EQ(notes.convertOpusPath(), input);
    EXPECT_TRUE(ui.revealedPaths().empty());

    deliverTool();
    const std::string wav = home.path() + "/notes/it's \"a\" note.wav";
    for (int i = 0; i < 200 && ui.revealedPaths().empty(); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(test::readFile(wav), "RIFF");
    EXPECT_EQ(ui.revealedPaths(), std::vector<std::string>{wav});
    EXPECT_FALSE(notes.isWaitingForTool());
}

TEST_F(VoiceNotes, ALaterRequestReplacesTheWaitingNoteAndAPresentToolConvertsAtOnce) {
    VoiceNoteCommands notes(ui, hooks);
    const std::string second = home.path() + "/second.opus";
    test::writeFile(second, sample::sampleVoiceNote());
    (void)notes.ConvertSaveOPUSFiletoWAVFileFormat(input);
    (void)notes.ConvertSaveOPUSFiletoWAVFileFormat(second);
    EXPECT_EQ(notes.convertOpusPath(), second);
    EXPECT_EQ(downloads.load(), 1);  // one download serves both requests

    deliverTool();
    EXPECT_TRUE(notes.CheckSyncDownloadhasCompleted() || fs::exists(home.path() + "/second.wav"));
    const WavConversion now = notes.ConvertSaveOPUSFiletoWAVFileFormat(input);
    EXPECT_FALSE(now.awaitingTool);
    EXPECT_EQ(test::readFile(home.path() + "/notes/it's \"a\" note.wav"), "RIFF");
}

}  // namespace
}  // namespace vessamo
