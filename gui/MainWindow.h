#pragma once

#include <QMainWindow>
#include <memory>

#include "results/ResultViewState.h"

class QAction;
class QStackedWidget;

namespace vessamo {
class NotificationCenter;
class OrlendoAppDelegate;
}  // namespace vessamo

namespace vessamo::gui {

class BackupChooser;
class EmptyStatePage;
class HomePage;
class PreferencesWindow;
class QtUiPort;
class ResultsPage;
class ScanningPage;
class SideDrawer;
class SourceListView;
class StatusItem;
class TimelinePage;

// The main window: the home choices, or the source list beside the result
// pages (empty states, the scan in progress, the results), chosen from the
// result view's state; the menus, the preferences, the side drawer, the
// tray icon and the exit question.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(OrlendoAppDelegate& app, QtUiPort& ui, QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] HomePage& home() { return *home_; }
    [[nodiscard]] SourceListView& sourceList() { return *sourceList_; }
    [[nodiscard]] EmptyStatePage& emptyState() { return *emptyState_; }
    [[nodiscard]] ScanningPage& scanning() { return *scanning_; }
    [[nodiscard]] ResultsPage& results() { return *results_; }
    [[nodiscard]] PreferencesWindow& preferences() { return *preferences_; }
    [[nodiscard]] SideDrawer& drawer() { return *drawer_; }
    [[nodiscard]] StatusItem& statusItem() { return *statusItem_; }
    [[nodiscard]] TimelinePage& timeline() { return *timeline_; }
    [[nodiscard]] BackupChooser& backupChooser() { return *chooser_; }
    // The navigation of the toolbar and the Go menu.
    [[nodiscard]] QAction* homeAction() const { return homeAction_; }
    [[nodiscard]] QAction* timelineAction() const { return timelineAction_; }
    // True while the backup chooser is offered (the results of a backup show).
    [[nodiscard]] bool offersBackupChooser() const;

    // True while the home choices are shown rather than the source list.
    [[nodiscard]] bool showsHome() const;
    [[nodiscard]] bool showsTimeline() const;
    // The widget on the right of the source list: empty state, scanning or results.
    [[nodiscard]] QWidget* resultPage() const;

    // The source list with the empty start page, as the toolbar opens it.
    void showSources();
    void showHome();
    // The home action: with results shown it asks first, since going home
    // drops them from the view; Cancel stays.
    void goHome();
    // The Timeline view, listed anew.
    void showTimeline();
    void showPreferences();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPages();
    void buildMenus();
    void buildActions();
    void buildToolBar();
    void connectSignals();
    struct RefreshTicket;
    static void scheduleRefresh(const std::weak_ptr<RefreshTicket>& weak);
    void refresh();
    void showResultLayout();
    void updateBackupChooser();
    void convertVoiceNotes(bool several);
    void reloadSources();
    void saveGeometrySetting() const;
    void restoreGeometrySetting();

    OrlendoAppDelegate& app_;
    QtUiPort& ui_;
    NotificationCenter& notifications_;
    QStackedWidget* pages_ = nullptr;
    HomePage* home_ = nullptr;
    QWidget* resultLayout_ = nullptr;
    SourceListView* sourceList_ = nullptr;
    QStackedWidget* resultPages_ = nullptr;
    EmptyStatePage* emptyState_ = nullptr;
    ScanningPage* scanning_ = nullptr;
    ResultsPage* results_ = nullptr;
    SideDrawer* drawer_ = nullptr;
    TimelinePage* timeline_ = nullptr;
    BackupChooser* chooser_ = nullptr;
    QAction* chooserAction_ = nullptr;  // the chooser's place in the toolbar
    QAction* homeAction_ = nullptr;
    QAction* sourcesAction_ = nullptr;
    QAction* timelineAction_ = nullptr;
    std::unique_ptr<PreferencesWindow> preferences_;
    std::unique_ptr<StatusItem> statusItem_;

    // What the state observer (any thread) holds: a burst of changes costs
    // one queued refresh, and one that arrives after the window went finds
    // no window instead of a dangling one.
    std::shared_ptr<RefreshTicket> refreshTicket_;
    ResultPage shownPage_ = ResultPage::Start;
    ResultCategory shownCategory_ = ResultCategory::None;
    bool refreshedOnce_ = false;
    bool sourcesByHand_ = false;  // the person opened the source list, not a scan
    bool closing_ = false;        // a close is being decided: a second one waits
};

}  // namespace vessamo::gui
