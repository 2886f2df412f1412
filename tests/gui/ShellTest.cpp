#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "HomePage.h"
#include "MainWindow.h"
#include "PreferencesWindow.h"
#include "SourceListView.h"

namespace vessamo::test {
namespace {

namespace fs = std::filesystem;

// Every text a person can read in a widget and below it.
QStringList textsIn(const QWidget& root) {
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        texts << label->text();
    }
    for (const QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        texts << button->text() << button->accessibleName();
    }
    return texts;
}

template <typename Button>
Button* buttonWithText(const QWidget& root, const QString& text) {
    for (Button* button : root.findChildren<Button*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

TEST(ShellTest, StartsOnTheHomeChoicesAndTheBackupChoiceOpensTheBackupList) {
    GuiHarness harness;
    gui::MainWindow& window = harness.window();
    EXPECT_EQ(window.windowTitle(), "Vessamo");
    ASSERT_TRUE(window.showsHome());
    EXPECT_FALSE(window.home().showsBackupPane());

    const QStringList titles = textsIn(window.home());
    for (const char* choice : {"Backups on this computer", "A connected iPhone", "WhatsApp Web"}) {
        EXPECT_TRUE(titles.contains(choice)) << choice;
    }
    auto* backups = window.home().findChild<QAbstractButton*>("homeChoice1");
    ASSERT_NE(backups, nullptr);
    EXPECT_TRUE(backups->isVisible());
    backups->click();
    EXPECT_TRUE(waitUntil([&] { return window.home().showsBackupPane(); }));
    EXPECT_TRUE(window.showsHome());

    auto* back = window.home().findChild<QAbstractButton*>("homeBackToChoices");
    ASSERT_NE(back, nullptr);
    back->click();
    EXPECT_FALSE(window.home().showsBackupPane());
}

// The exit question decides whether the working folder goes with the window.
TEST(ShellTest, ExitQuestionKeepsOrRemovesTheMediaFolder) {
    struct Case {
        const char* button;
        bool closes;
    };
    for (const Case& c : {Case{"Cancel", false}, Case{" Exit ", true}}) {
        SCOPED_TRACE(c.button);
        GuiHarness harness;
        const fs::path media = fs::path(harness.home()) / "Media";
        fs::create_directories(media / "chat");
        std::ofstream(media / "chat" / "photo.jpg") << "jpeg";

        AlertAnswerer answer(c.button);
        const bool closed = harness.window().close();
        ASSERT_TRUE(answer.answered());
        EXPECT_EQ(answer.alert().text, "Are you sure you want to Exit ?");
        EXPECT_EQ(answer.alert().buttons, (QStringList{" Exit ", "Cancel"}));
        EXPECT_EQ(closed, c.closes);
        EXPECT_EQ(harness.window().isVisible(), !c.closes);
        EXPECT_EQ(fs::exists(media), !c.closes);
    }
}

TEST(ShellTest, AppliedTimelineFolderIsMadeAndTheSourceListFollowsIt) {
    GuiHarness harness(HarnessSources{.timeline = true});
    gui::MainWindow& window = harness.window();
    ASSERT_TRUE(textsIn(window.sourceList()).contains("WhatsApp TimeLine Backup"));

    window.showPreferences();
    gui::PreferencesWindow& preferences = window.preferences();
    ASSERT_TRUE(preferences.isVisible());
    EXPECT_EQ(preferences.timelineField().text().toStdString(), harness.app().timelinePath);

    const fs::path chosen = fs::path(harness.home()) / "Elsewhere" / "Timelines";
    preferences.timelineField().setText(QString::fromStdString(chosen.string()));
    auto* apply = buttonWithText<QPushButton>(preferences, "Apply");
    ASSERT_NE(apply, nullptr);
    apply->click();

    EXPECT_TRUE(fs::is_directory(chosen));
    EXPECT_EQ(harness.app().timelinePath, chosen.string());
    EXPECT_TRUE(waitUntil([&] {
        const QStringList texts = textsIn(window.sourceList());
        return texts.contains("Create WhatsApp Timeline") &&
               !texts.contains("WhatsApp TimeLine Backup");
    }));
    EXPECT_TRUE(harness.ui().alertsShown().empty());
}

TEST(ShellTest, LoginBoxWritesAndRemovesTheAutostartEntry) {
    GuiHarness harness;
    ScopedEnv home("HOME", harness.home());
    ScopedEnv config("XDG_CONFIG_HOME", harness.home() + "/.config");
    const fs::path entry = fs::path(harness.home()) / ".config" / "autostart" / "vessamo.desktop";

    harness.window().showPreferences();
    auto* box =
        buttonWithText<QCheckBox>(harness.window().preferences(), "Start Vessamo when I log in");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(fs::is_regular_file(entry));
    box->click();
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(harness.ui().alertsShown().empty());
}

TEST(ShellTest, WindowGeometryIsKeptForTheNextWindow) {
    GuiHarness harness;
    const QSize chosen(1111, 777);
    {
        gui::MainWindow first(harness.app(), harness.ui());
        first.show();
        first.resize(chosen);
        ASSERT_TRUE(waitUntil([&] { return first.size() == chosen; }));
    }
    gui::MainWindow second(harness.app(), harness.ui());
    second.show();
    EXPECT_EQ(second.size(), chosen);
}

// The product page opens on the very first launch only, across restarts.
TEST(ShellTest, FirstLaunchOpensTheProductPageOnce) {
    GuiHarness harness(HarnessSources{.firstLaunchDone = false});
    const QString productPage = QString::fromStdString(harness.app().webLinks().productPage());
    EXPECT_EQ(harness.opened(), QStringList{productPage});

    NotificationCenter notifications;
    OrlendoAppDelegate relaunched(harness.ui(), notifications, OrlendoAppDelegate::Options{});
    relaunched.checkFirstLaunch();
    EXPECT_EQ(harness.opened(), QStringList{productPage});
}

}  // namespace
}  // namespace vessamo::test
