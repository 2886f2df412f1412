#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <regex>
#include <thread>

#include "app/OrlendoAppDelegate.h"
#include "app/VoiceNoteCommands.h"
#include "export/HtmlText.h"
#include "export/OpusConversion.h"
#include "sample/SampleSources.h"
#include "sample/SampleVoiceNote.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

size_t filesIn(const std::string& folder) {
    size_t count = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        count += it->is_regular_file() ? 1 : 0;
    }
    return count;
}

// Holds an ending export at its last step, showing the folder, until the
// test lets it go: the export is then still running.
class GatedUiPort : public test::RecordingUiPort {
public:
    void runOnMainThreadAndWait(const std::function<void()>& work) override {
        {
            std::unique_lock lock(mutex_);
            reached_ = held_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !held_; });
        }
        RecordingUiPort::runOnMainThreadAndWait(work);
    }
    void hold() { held_ = true; }
    void waitUntilReached() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return reached_; });
    }
    void release() {
        const std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool reached_ = false;
};

// A scanned sample backup with deleted messages, and the controller's
// export commands answering the save sheet with a folder of the test's.
class ExportCommands : public ::testing::Test {
protected:
    void SetUp() override {
        sample::WhatsAppSampleOptions options;
        options.deleteEvery = 5;
        const std::string folder = home.backupRoot() + "/device";
        ASSERT_TRUE(
            sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb, {}, options).write(folder));
        controller.ClickAdvancedRecoveryMode(true);
        controller.openPanelDidEnd1(folder);
        controller.waitForScan();
        ASSERT_TRUE(controller.currentNode);
        ASSERT_FALSE(controller.currentNode->WhatsAppConvChatArray.empty());
        controller.showScannedResults();
        ui.saveAnswer = out;
    }

    std::vector<KTWhatsAppCovNodePtr>& chats() {
        return controller.currentNode->WhatsAppConvChatArray;
    }
    ResultExportCommands& commands() { return controller.exportCommands(); }

    test::TempHome home;
    std::string out = home.path() + "/out";
    GatedUiPort ui;
    NotificationCenter center;
    OrlendoAppDelegate controller{ui, center, OrlendoAppDelegate::Options{}};
};

TEST_F(ExportCommands, CancellingTheSaveSheetWritesNothing) {
    ui.saveAnswer.reset();
    chats()[0]->bSelected = true;
    EXPECT_FALSE(commands().ExportChatAsHtmlAction());
    commands().waitForExports();
    ASSERT_EQ(ui.savePanels.size(), 1u);
    EXPECT_EQ(ui.savePanels[0].startFolder, home.path() + "/Documents");
    EXPECT_EQ(ui.savePanels[0].proposedName, "Vessamo");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(commands().finishedExports().empty());
}

TEST_F(ExportCommands, ChatPagesRunOnAWorkerCountChatsAndShowTheirFolder) {
    chats()[0]->bSelected = true;
    chats()[1]->bSelected = true;
    ASSERT_TRUE(commands().ExportChatAsHtmlAction());
    commands().waitForExports();

    EXPECT_EQ(commands().recoverPath(), out);
    EXPECT_EQ(commands().recovredFilesNum(), 2);
    EXPECT_EQ(ui.revealedPaths(), std::vector<std::string>{out + "/Chats"});
    const std::vector<FinishedExport> done = commands().finishedExports();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0].report.failures.empty());
    size_t pages = 0;
    for (const auto& entry : fs::directory_iterator(out + "/Chats")) {
        pages += entry.path().extension() == ".html" ? 1 : 0;
    }
    EXPECT_EQ(pages, 2u);
    // Lists filled only for the pages are given back; opening fills anew.
    EXPECT_FALSE(chats()[0]->hasload);
    EXPECT_TRUE(chats()[0]->appNodeArray.empty());
}

TEST_F(ExportCommands, AnOpenedChatKeepsItsMessagesThroughAnExport) {
    controller.resultView().pages().actClickChat();
    controller.resultView().pages().tableViewSelectionDidChange(0);
    controller.resultView().pages().waitForChatLoad();
    const KTWhatsAppCovNodePtr opened = controller.resultView().pages().chatView().conversation;
    ASSERT_TRUE(opened);
    ASSERT_TRUE(opened->hasload);
    const size_t before = opened->appNodeArray.size();
    ASSERT_GT(before, 0u);

    // The selected row is exported although nothing is checked.
    ASSERT_TRUE(commands().ExportChatAsHtmlAction());
    commands().waitForExports();
    EXPECT_EQ(commands().recovredFilesNum(), 1);
    EXPECT_TRUE(opened->hasload);
    EXPECT_EQ(opened->appNodeArray.size(), before);
}

TEST_F(ExportCommands, EachTextCommandShowsItsOwnFolder) {
    ASSERT_TRUE(commands().ExportChatContactsAction());
    ASSERT_TRUE(commands().ExportChatFavContactsAction());
    ASSERT_TRUE(commands().ExportWhatsAppChatCallAction());
    controller.resultView().pages().actClickResource();  // fills the media browser
    ASSERT_TRUE(commands().ExportAllPhotosAction());
    commands().waitForExports();
    std::vector<std::string> revealed = ui.revealedPaths();
    std::sort(revealed.begin(), revealed.end());
    EXPECT_EQ(revealed,
              (std::vector<std::string>{out + "/Call History", out + "/Contact",
                                        out + "/Favorites Contact", out + "/Media Files/Photos"}));
    EXPECT_TRUE(fs::is_regular_file(out + "/Call History/WhatsApp Call.txt"));
    EXPECT_GT(filesIn(out + "/Contact"), 0u);
    EXPECT_GT(filesIn(out + "/Media Files/Photos"), 0u);
    // Contacts, WhatsApp contacts and calls count their items.
    const KTIOSDeviceNode& node = *controller.currentNode;
    EXPECT_EQ(
        commands().recovredFilesNum(),
        static_cast<int32_t>(node.WhatsAppContactArray.size() +
                             node.WhatsAppFacContactArray.size() + node.WhatsAppCallArray.size()));
}

TEST_F(ExportCommands, RecoveryWritesTheCheckedRecoveredChatsAsSinglePages) {
    // A recovered message of a chat the live database no longer has.
    auto lost = std::make_shared<KTWhatsAppNode>();
    lost->chatID = 9999;
    lost->messageContent = "<b>still here</b>";
    lost->messageNumb = "4917012345";
    lost->messageType = "Receive";
    lost->bDeleted = true;
    controller.resultView().DelScanWhatsAppInfoHandle(lost);
    const std::vector<KTWhatsAppCovNodePtr> recovered =
        controller.resultView().deletedMessages().conversations();
    ASSERT_FALSE(recovered.empty());
    for (const KTWhatsAppCovNodePtr& chat : recovered) {
        chat->bSelected = chat->chatID == 9999;
    }
    ASSERT_TRUE(commands().recoveryAction());
    commands().waitForExports();

    ASSERT_EQ(ui.savePanels.size(), 1u);
    EXPECT_TRUE(std::regex_match(ui.savePanels[0].proposedName,
                                 std::regex(R"(Vessamo \d{4}-\d\d-\d\d - \d\d\.\d\d\.\d\d)")))
        << ui.savePanels[0].proposedName;
    EXPECT_EQ(ui.revealedPaths(), std::vector<std::string>{out});
    EXPECT_TRUE(fs::is_regular_file(out + "/Contact/Contacts.txt"));
    size_t pages = 0;
    for (const auto& entry : fs::directory_iterator(out + "/Chats")) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find('_'), std::string::npos) << "a recovery page is never split: " << name;
        pages += entry.path().extension() == ".html" ? 1 : 0;
    }
    EXPECT_EQ(pages, 1u);
    for (const auto& entry : fs::directory_iterator(out + "/Chats")) {
        const std::string page = test::readFile(entry.path().string());
        EXPECT_EQ(page.substr(0, 2), "\xFF\xFE");
        EXPECT_NE(page.find(utf16LeWithBom("&lt;b&gt;still here&lt;/b&gt;").substr(2)),
                  std::string::npos);
    }
    const std::vector<FinishedExport> done = commands().finishedExports();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0].report.failures.empty());
}

TEST_F(ExportCommands, RecoveredResourcesAreCopiedWholeNotToTheirRoundedSize) {
    auto resource = std::make_shared<KTWhatsAppResourceNode>();
    const std::string file = home.path() + "/picture.jpg";
    test::writeFile(file, std::string(4096, 'x'));
    resource->nodePath = file;
    resource->nodeName = "picture.jpg";
    resource->nodeSize = "4.00K";  // the list's text: 4000 bytes
    resource->bSelected = true;
    ResultSourceLists lists;
    lists.deletedResources = {resource};
    controller.resultView().pages().setSource(lists);

    ASSERT_TRUE(commands().recoveryAction());
    commands().waitForExports();
    EXPECT_EQ(test::readFile(out + "/Resource/picture.jpg"), std::string(4096, 'x'));
}

TEST_F(ExportCommands, NoScanStartsWhileAnExportReadsTheResults) {
    chats()[0]->bSelected = true;
    ui.hold();
    ASSERT_TRUE(commands().ExportChatAsHtmlAction());
    ui.waitUntilReached();
    EXPECT_TRUE(commands().isExporting());
    const size_t alertsBefore = ui.alerts.size();
    EXPECT_FALSE(controller.ScanIOSBackFile(controller.currentNode->backUpFilePath));
    ASSERT_EQ(ui.alerts.size(), alertsBefore + 1);
    EXPECT_EQ(ui.alerts.back().title,
              "An export is still running. Wait until it has finished, then start the scan.");
    ui.release();
    commands().waitForExports();
    EXPECT_FALSE(commands().isExporting());
    EXPECT_TRUE(controller.ScanIOSBackFile(controller.currentNode->backUpFilePath));
    controller.waitForScan();
}

TEST_F(ExportCommands, TheCharacterViewShowsTheScannedDatabaseAndItsExportOpens) {
    const std::string view = commands().ClickNewHexWindowAction();
    ASSERT_FALSE(view.empty());
    EXPECT_EQ(view.substr(0, 15), "SQLite format 3");
    EXPECT_TRUE(
        std::all_of(view.begin(), view.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }));

    commands().actExportImage(view);
    commands().waitForExports();
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
    for (int i = 0; i < 100 && !fs::exists(wav); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(test::readFile(wav), "RIFF");
    for (int i = 0; i < 100 && ui.revealedPaths().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
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
