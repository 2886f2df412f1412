#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "app/LoginItem.h"
#include "app/OrlendoAppDelegate.h"
#include "sample/SampleSources.h"
#include "sample/SampleTimeline.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// Records the web pages and folder panels as well, and counts the hops to
// the interface thread.
class ShellUi : public test::RecordingUiPort {
public:
    void openURL(const std::string& url) override { urls.push_back(url); }
    std::optional<std::string> chooseFolder(const FolderPanelRequest& request) override {
        folderPanels.push_back(request);
        return folderAnswer;
    }
    void runOnMainThreadAndWait(const std::function<void()>& work) override {
        ++hops;
        RecordingUiPort::runOnMainThreadAndWait(work);
    }

    Texts urls;
    std::vector<FolderPanelRequest> folderPanels;
    std::optional<std::string> folderAnswer;
    std::atomic<int> hops{0};
};

OrlendoAppDelegate::Options shellOptions() {
    OrlendoAppDelegate::Options options;
    options.links = WebLinks("https://site.test/", "https://sibling.test");
    return options;
}

class Shell : public ::testing::Test {
protected:
    Shell() { controller.defaults().setBool(kExampleAlertSuppress, true); }

    std::string writeBackup(const std::string& name,
                            const sample::WhatsAppSampleOptions& options = {}) {
        sample::DeviceInfo device;
        device.deviceName = name;
        const std::string folder = home.backupRoot() + "/" + name;
        EXPECT_TRUE(sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb, device, options)
                        .write(folder));
        return folder;
    }

    Texts entryTitles() {
        Texts titles;
        for (const SourceListRow& row : controller.sourceList().rows()) {
            if (row.kind == SourceListRow::Kind::Entry) {
                titles.push_back(row.title + (row.detail.empty() ? "" : " | " + row.detail));
            }
        }
        return titles;
    }

    test::TempHome home;
    ShellUi ui;
    NotificationCenter center;
    OrlendoAppDelegate controller{ui, center, shellOptions()};
};

TEST(LoginItemTest, EntryIsWrittenQuotedRecognisedAndRemoved) {
    test::TempHome home;
    const std::string folder = home.path() + "/config/autostart";
    const LoginItem item(folder, "/opt/My Apps/ve\"s$a`mo\\x%");
    ASSERT_TRUE(item.addAppAsLoginItem().ok());
    EXPECT_EQ(item.entryPath(), folder + "/vessamo.desktop");
    EXPECT_EQ(test::readFile(item.entryPath()),
              "[Desktop Entry]\nType=Application\nName=Vessamo\n"
              "Exec=\"/opt/My Apps/ve\\\"s\\$a\\`mo\\\\\\\\x%%\"\n"
              "X-GNOME-Autostart-enabled=true\nHidden=false\n");
    EXPECT_TRUE(item.isLoginItem());
    EXPECT_FALSE(LoginItem(folder, "/usr/bin/other").isLoginItem());

    ASSERT_TRUE(item.deleteAppFromLoginItem().ok());
    EXPECT_FALSE(fs::exists(item.entryPath()));
    EXPECT_FALSE(item.isLoginItem());
    EXPECT_TRUE(item.deleteAppFromLoginItem().ok());  // nothing there is no failure
}

TEST(LoginItemTest, AnEntryThatIsALinkGoesAloneItsTargetStays) {
    test::TempHome home;
    const std::string target = home.path() + "/elsewhere.desktop";
    test::writeFile(target, "[Desktop Entry]\nExec=\"/bin/vessamo\"\n");
    const LoginItem item(home.path() + "/autostart", "/bin/vessamo");
    fs::create_directories(home.path() + "/autostart");
    fs::create_symlink(target, item.entryPath());
    EXPECT_FALSE(item.isLoginItem());  // a link is not our entry
    ASSERT_TRUE(item.deleteAppFromLoginItem().ok());
    EXPECT_FALSE(fs::exists(fs::symlink_status(item.entryPath())));
    EXPECT_EQ(test::readFile(target), "[Desktop Entry]\nExec=\"/bin/vessamo\"\n");
}

TEST(LoginItemTest, DefaultFolderNeverLeavesTheTestHome) {
    test::TempHome home;
    EXPECT_EQ(LoginItem::defaultFolder(), home.path() + "/.config/autostart");
    test::ScopedEnv noHome("VESSAMO_HOME", "");
    test::ScopedEnv userHome("HOME", "/home/someone");
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(LoginItem::defaultFolder(), "/cfg/autostart");
    }
    test::ScopedEnv relative("XDG_CONFIG_HOME", "cfg");
    EXPECT_EQ(LoginItem::defaultFolder(), "/home/someone/.config/autostart");
}

TEST(WebLinksTest, PagesOfTheConfiguredSites) {
    {
        test::ScopedEnv site("VESSAMO_SITE", "https://mirror.test//");
        test::ScopedEnv sibling("VESSAMO_SIBLING_SITE", "");
        const WebLinks links = WebLinks::defaults();
        EXPECT_EQ(links.productPage(), "https://mirror.test/Vessamo.html");
        EXPECT_EQ(links.learnMore(), "https://tessoral.example/resource.html");
    }
    const WebLinks links("https://a.test/", "https://b.test");
    EXPECT_EQ(
        (Texts{links.homePage(), links.supportPage(), links.productGuide(), links.otherProduct()}),
        (Texts{"https://a.test", "https://a.test/support.html",
               "https://a.test/guide/how-to-use-Vessamo.html", "https://b.test"}));
}

TEST_F(Shell, MenuLinksOpenTheirPages) {
    controller.ClickHomePage();
    controller.ClickProductPage();
    controller.ClickHelp();
    controller.clickSupport();
    controller.ClickProductGuide();
    controller.ClickLearnMore();
    controller.clickILikeMore();
    EXPECT_EQ(ui.urls, (Texts{"https://site.test", "https://site.test/Vessamo.html",
                              "https://site.test/support.html", "https://site.test/support.html",
                              "https://site.test/guide/how-to-use-Vessamo.html",
                              "https://sibling.test/resource.html", "https://sibling.test"}));
}

// The question and its two answers are the desktop ShellTest's; a media
// folder that is a link goes without what it points to.
TEST_F(Shell, ExitRemovesAMediaLinkNeverItsTarget) {
    const std::string media = home.path() + "/Media";
    const std::string outside = home.path() + "/Pictures";
    test::writeFile(outside + "/kept.jpg", "jpeg");
    fs::create_directory_symlink(outside, media);
    EXPECT_TRUE(controller.windowShouldClose());
    EXPECT_FALSE(fs::exists(fs::symlink_status(media)));
    EXPECT_EQ(test::readFile(outside + "/kept.jpg"), "jpeg");
}

// A new folder made and listed empty is the desktop ShellTest's.
TEST_F(Shell, TimelineFolderListsItsBackupsAndAnEmptyOneIsRefused) {
    const std::string folder = home.path() + "/a/b/c/Timelines";
    ASSERT_TRUE(sample::writeTimelineSample(folder + "/Anna 2024"));
    ASSERT_TRUE(controller.ResetPreferenceSetting(folder).ok());
    EXPECT_EQ(controller.timelinePath, folder);
    EXPECT_EQ(entryTitles().back(), "WhatsApp TimeLine Backup | Anna 2024");

    EXPECT_EQ(controller.ResetPreferenceSetting("").code(), StatusCode::invalid);
    EXPECT_EQ(controller.timelinePath, folder);
}

TEST_F(Shell, LaunchListsTheBackupsAndHomeButtonsAnswer) {
    writeBackup("Anna's iPhone");
    controller.applicationDidFinishLaunching();
    EXPECT_EQ(entryTitles()[1].substr(0, 24), "Anna's iPhone | Backup--");

    center.post("KTbuttonMouseDown", HomeButton::Device);
    center.post("KTbuttonMouseDown", HomeButton::WebWindow);
    EXPECT_EQ(ui.titles(),
              (Texts{"Reading a connected iPhone is not available in this version yet. Make a "
                     "backup with your computer and choose it from the backup list.",
                     "The WhatsApp Web window is not available in this version yet."}));

    writeBackup("Work iPhone");
    center.post("KTbuttonMouseDown", HomeButton::BackupList);
    EXPECT_EQ(ui.backupPanes, 1);
    EXPECT_EQ(entryTitles()[2].substr(0, 22), "Work iPhone | Backup--");

    const SourceEntryId id = controller.sourceList().rows()[3].id;
    center.post("KTExpandButtonMouseDown", id);
    EXPECT_TRUE(controller.sourceList().entry(id)->expanded);
}

TEST_F(Shell, ChosenFolderIsScannedCancelScansNothing) {
    const std::string folder = writeBackup("Chosen");
    controller.SelectBackUpAction();
    EXPECT_FALSE(controller.currentNode);
    ui.folderAnswer = folder;
    controller.SelectBackUpAction();
    controller.waitForScan();
    ASSERT_EQ(ui.folderPanels.size(), 2u);
    EXPECT_EQ(ui.folderPanels[0].message,
              "Please select the backup from the floder to recover your data.");
    EXPECT_EQ(ui.folderPanels[0].startFolder, home.backupRoot());
    ASSERT_TRUE(controller.currentNode);
    EXPECT_EQ(controller.currentNode->backUpFilePath, folder);
    EXPECT_TRUE(controller.currentNode->bhasScanCompleted);
}

// A scan posts its message count after every message past the first few
// thousand: the state follows on the scan's thread, the interface thread is
// reached only to hand the result over and to finish.
TEST_F(Shell, ProgressReachesTheStateFromTheScanThreadWithoutAHopPerMessage) {
    sample::WhatsAppSampleOptions large;
    large.messages = 20000;
    large.chats = 40;
    large.people = 50;
    large.smallMedia = true;
    writeBackup("Large", large);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::set<std::string> stages;
    int mostMessages = 0;
    controller.resultView().setStateObserver([&] {
        const ResultViewState state = controller.resultView().state();
        const std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
        stages.insert(stageDescription(state.stageName));
        mostMessages = std::max(mostMessages, state.messagesRead);
    });
    controller.showIphoneDiskView();
    const int hopsBefore = ui.hops;
    controller.ClickStartScan(0);
    controller.waitForScan();

    const std::lock_guard lock(mutex);
    EXPECT_EQ(mostMessages, 20000);
    EXPECT_LE(ui.hops - hopsBefore, 4);
    EXPECT_TRUE(threads.size() > 1 && threads.count(std::this_thread::get_id()) == 1);
    EXPECT_TRUE(stages.count("Reading messages") == 1 && stages.count("Reading calls") == 1);
    // The category the finished scan shows has its lists already.
    EXPECT_EQ(controller.resultView().state().page, ResultPage::Results);
    controller.resultView().pages().actClickChat();
    EXPECT_GE(controller.resultView().pages().chatRows().size(), large.chats + large.groups);
}

TEST(StageDescription, NamesEveryStageInPlainWords) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"scanManifestDBThread", "Reading the backup catalogue"},
        {"scanContactThread", "Reading the address book"},
        {"getWhatsAppFavateContact", "Reading favourites"},
        {"getiCloudWhatsAppIDInfo", "Reading the account"},
        {"scanTimelineWhatsAppMessageThread", "Reading messages"},
        {"scanDeletediCloudWhatsAppMessageThread", "Recovering deleted messages"},
        {"compressWhatsAppMedia", "Unpacking media"},
        {"scanWhatsAppMessage", ""},
        {"", ""}};
    for (const auto& [stage, words] : cases) {
        EXPECT_EQ(stageDescription(stage), words) << stage;
    }
}

TEST(SampleCommand, MessagesOptionWritesThatManyMessages) {
    test::TempHome home;
    const std::string folder = home.path() + "/large";
    ASSERT_TRUE(test::writeSample(home.path(), folder, {"--messages", "3000"}));
    const nlohmann::json scanned = test::scanJson(home.path(), {folder});
    EXPECT_EQ(scanned["messages"].size(), 3000u);
    EXPECT_NE(
        test::runTool(home.path(), {"sample", home.path() + "/none", "--messages", "0"}).exitCode,
        0);
}

}  // namespace
}  // namespace vessamo
