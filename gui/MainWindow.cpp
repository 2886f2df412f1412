#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>

#include "BackupChooser.h"
#include "EmptyStatePage.h"
#include "HomePage.h"
#include "PreferencesWindow.h"
#include "QtUiPort.h"
#include "ResultsPage.h"
#include "ScanningPage.h"
#include "SideDrawer.h"
#include "SourceListView.h"
#include "StatusItem.h"
#include "Theme.h"
#include "TimelinePage.h"
#include "VessamoApplication.h"
#include "app/OrlendoAppDelegate.h"
#include "common/UserPaths.h"

namespace vessamo::gui {

namespace {

constexpr const char* kGeometryKey = "mainWindowGeometry";
const QSize kHomeMinimum(751, 578);
const QSize kResultMinimum(895, 654);
// Room for the source list, a chat list and an open conversation side by side.
const QSize kFirstSize(1180, 760);

bool isEmptyPage(ResultPage page) {
    return page == ResultPage::NoBackup || page == ResultPage::NoITunesBackup ||
           page == ResultPage::NoICloudBackup || page == ResultPage::NoTimelineBackup;
}

}  // namespace

struct MainWindow::RefreshTicket {
    std::atomic<bool> pending{false};
    MainWindow* window = nullptr;  // read and cleared on the interface thread only
};

MainWindow::MainWindow(OrlendoAppDelegate& app, QtUiPort& ui, QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      ui_(ui),
      notifications_(app.notifications()),
      refreshTicket_(std::make_shared<RefreshTicket>()) {
    refreshTicket_->window = this;
    setWindowTitle("Vessamo");
    setWindowIcon(themedIcon("vessamo", ":/icons/vessamo.svg"));
    buildPages();
    statusItem_ = std::make_unique<StatusItem>(*this);
    preferences_ = std::make_unique<PreferencesWindow>(app_, ui_, statusItem_.get());
    drawer_ = new SideDrawer(app_, *centralWidget());
    buildActions();
    buildMenus();
    buildToolBar();
    connectSignals();
    restoreGeometrySetting();
    statusItem_->createAtStart();
    // The controller has listed the sources by now; show them as they are.
    reloadSources();
    refresh();
}

MainWindow::~MainWindow() {
    app_.resultView().setStateObserver({});
    refreshTicket_->window = nullptr;
    saveGeometrySetting();
}

void MainWindow::buildPages() {
    pages_ = new QStackedWidget(this);
    home_ = new HomePage(app_, notifications_, pages_);
    pages_->addWidget(home_);

    // A splitter, so the person can widen the list for long device names.
    auto* split = new QSplitter(Qt::Horizontal, pages_);
    split->setChildrenCollapsible(false);
    resultLayout_ = split;
    sourceList_ = new SourceListView(app_, notifications_, split);
    // Wide enough for the longest category and its count beside the icons
    // and indents of a panel, so no label is cut at the narrowest width.
    sourceList_->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("WhatsApp Favorites Contacts  88,888")) +
        14 * Theme::relatedSpacing);
    resultPages_ = new QStackedWidget(split);
    emptyState_ = new EmptyStatePage(app_, resultPages_);
    scanning_ = new ScanningPage(app_, resultPages_);
    results_ = new ResultsPage(app_, resultPages_);
    for (QWidget* page : {static_cast<QWidget*>(emptyState_), static_cast<QWidget*>(scanning_),
                          static_cast<QWidget*>(results_)}) {
        resultPages_->addWidget(page);
    }
    split->addWidget(sourceList_);
    split->addWidget(resultPages_);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({sourceList_->minimumWidth(), kResultMinimum.width()});
    pages_->addWidget(resultLayout_);
    timeline_ = new TimelinePage(app_, ui_, pages_);
    pages_->addWidget(timeline_);
    setCentralWidget(pages_);
    setMinimumSize(kHomeMinimum);
}

void MainWindow::buildActions() {
    homeAction_ = new QAction(themedIcon("go-home", ":/icons/vessamo-home.svg"), tr("Home"), this);
    homeAction_->setObjectName("homeAction");
    homeAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    connect(homeAction_, &QAction::triggered, this, &MainWindow::goHome);
    sourcesAction_ = new QAction(themedIcon("view-list-details", ":/icons/vessamo-sources.svg"),
                                 tr("Sources"), this);
    sourcesAction_->setObjectName("sourcesAction");
    connect(sourcesAction_, &QAction::triggered, this, &MainWindow::showSources);
    timelineAction_ = new QAction(
        themedIcon("document-open-recent", ":/icons/timeline/timeline.svg"), tr("Timeline"), this);
    timelineAction_->setObjectName("timelineAction");
    timelineAction_->setToolTip(tr("The WhatsApp Timeline backups"));
    connect(timelineAction_, &QAction::triggered, this, &MainWindow::showTimeline);
}

void MainWindow::buildMenus() {
    QMenu* application = menuBar()->addMenu(tr("&Vessamo"));
    QAction* preferences =
        application->addAction(tr("Preferences…"), this, &MainWindow::showPreferences);
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setMenuRole(QAction::PreferencesRole);
    application->addSeparator();
    QAction* quit = application->addAction(tr("Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(themedIcon("folder-open", ":/icons/vessamo-backups.svg"),
                    tr("Select a backup folder…"), this, [this] { app_.SelectBackUpAction(); });
    file->addSeparator();
    file->addAction(tr("Convert voice note…"), this, [this] { convertVoiceNotes(false); });
    file->addAction(tr("Convert voice notes…"), this, [this] { convertVoiceNotes(true); });

    QMenu* go = menuBar()->addMenu(tr("&Go"));
    go->addAction(homeAction_);
    go->addAction(sourcesAction_);
    go->addAction(timelineAction_);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("Check for updates…"), this, [this] {
        AlertRequest alert;
        alert.title = "Checking for updates is not available in this version yet.";
        alert.asSheet = true;
        ui_.showAlert(alert);
    });
    help->addSeparator();
    help->addAction(tr("Product guide"), this, [this] { app_.ClickProductGuide(); });
    help->addAction(tr("Support"), this, [this] { app_.ClickHelp(); });
    help->addAction(tr("Home page"), this, [this] { app_.ClickHomePage(); });
    help->addAction(tr("Learn more"), this, [this] { app_.ClickLearnMore(); });
}

void MainWindow::buildToolBar() {
    QToolBar* bar = addToolBar(tr("Navigation"));
    bar->setObjectName("navigation");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->toggleViewAction()->setVisible(false);
    bar->addAction(homeAction_);
    bar->addAction(sourcesAction_);
    bar->addAction(timelineAction_);
    chooser_ = new BackupChooser(app_, bar);
    chooserAction_ = bar->addWidget(chooser_);
    chooserAction_->setVisible(false);
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    QAction* more = bar->addAction(themedIcon("open-menu", ":/icons/vessamo-more.svg"), tr("More"),
                                   this, [this] { drawer_->toggle(); });
    more->setToolTip(tr("Learn more, suggestions and support"));
}

void MainWindow::connectSignals() {
    // Any thread may change the state; the widgets follow on this one.
    app_.resultView().setStateObserver(
        [ticket = std::weak_ptr<RefreshTicket>(refreshTicket_)] { scheduleRefresh(ticket); });
    connect(&ui_, &QtUiPort::backupPaneRequested, this, [this] {
        showHome();
        home_->showBackupPane();
    });
    connect(home_, &HomePage::sourcesChanged, this, &MainWindow::reloadSources);
    connect(preferences_.get(), &PreferencesWindow::timelineFolderChanged, this,
            &MainWindow::reloadSources);
    connect(timeline_, &TimelinePage::sourcesRequested, this, &MainWindow::showSources);
}

// Queued on the application object, which outlives every window; the ticket
// says on arrival whether the window is still there.
void MainWindow::scheduleRefresh(const std::weak_ptr<RefreshTicket>& weak) {
    const std::shared_ptr<RefreshTicket> ticket = weak.lock();
    if (!ticket || ticket->pending.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak] {
            if (const auto held = weak.lock(); held && held->window != nullptr) {
                held->window->refresh();
            }
        },
        Qt::QueuedConnection);
}

// Switches pages only when the page or the category changed, so progress and
// marking never pull the person away from where they went by hand.
void MainWindow::refresh() {
    refreshTicket_->pending.store(false);
    const ResultViewState state = app_.resultView().state();
    sourceList_->setCategoryButtonsEnabled(state.categoryButtonsEnabled);
    const bool pageChanged = state.page != shownPage_ || state.category != shownCategory_;
    const bool firstRefresh = !refreshedOnce_;
    refreshedOnce_ = true;
    shownPage_ = state.page;
    shownCategory_ = state.category;
    if (state.page == ResultPage::Scanning) {
        scanning_->showState(state);
    }
    if (!pageChanged && !firstRefresh) {
        return;
    }
    if (state.page == ResultPage::Scanning) {
        showResultLayout();
        resultPages_->setCurrentWidget(scanning_);
    } else if (isEmptyPage(state.page)) {
        showResultLayout();
        emptyState_->showPage(state.page);
        resultPages_->setCurrentWidget(emptyState_);
    } else if (state.page == ResultPage::Results) {
        showResultLayout();
        results_->showCategory(state.category);
        resultPages_->setCurrentWidget(results_);
    } else if (sourcesByHand_) {
        emptyState_->showPage(ResultPage::Start);
        resultPages_->setCurrentWidget(emptyState_);
    } else {
        pages_->setCurrentWidget(home_);
        setMinimumSize(kHomeMinimum);
    }
    // A finished scan marks its source and fills its categories.
    reloadSources();
    updateBackupChooser();
}

void MainWindow::showResultLayout() {
    pages_->setCurrentWidget(resultLayout_);
    setMinimumSize(kResultMinimum);
    updateBackupChooser();
}

// Offered beside the results of a backup; hidden for a connected device,
// whose results are not a backup's to trade.
void MainWindow::updateBackupChooser() {
    const bool results = pages_->currentWidget() == resultLayout_ &&
                         resultPages_->currentWidget() == results_ &&
                         app_.resultView().state().page == ResultPage::Results;
    const bool offered =
        results && !app_.bIOSRecoveryMode && !app_.GetKTIOSDeviceController().records().empty();
    if (offered) {
        chooser_->reload();
    }
    chooserAction_->setVisible(offered);
}

bool MainWindow::offersBackupChooser() const {
    return chooserAction_->isVisible();
}

void MainWindow::showSources() {
    sourcesByHand_ = true;
    showResultLayout();
    if (shownPage_ == ResultPage::Start) {
        emptyState_->showPage(ResultPage::Start);
        resultPages_->setCurrentWidget(emptyState_);
    }
}

void MainWindow::showHome() {
    sourcesByHand_ = false;
    pages_->setCurrentWidget(home_);
    setMinimumSize(kHomeMinimum);
    updateBackupChooser();
}

void MainWindow::goHome() {
    const bool resultsShown = app_.resultView().state().page == ResultPage::Results;
    if (resultsShown && !app_.resultView().actHome()) {
        return;
    }
    showHome();
}

void MainWindow::showTimeline() {
    pages_->setCurrentWidget(timeline_);
    setMinimumSize(kResultMinimum);
    updateBackupChooser();
    timeline_->open();
}

bool MainWindow::showsTimeline() const {
    return pages_->currentWidget() == timeline_;
}

void MainWindow::showPreferences() {
    preferences_->show();
    preferences_->raise();
    preferences_->activateWindow();
}

bool MainWindow::showsHome() const {
    return pages_->currentWidget() == home_;
}

QWidget* MainWindow::resultPage() const {
    return resultPages_->currentWidget();
}

void MainWindow::reloadSources() {
    sourceList_->reload();
}

void MainWindow::convertVoiceNotes(bool several) {
    const QString title = several ? tr("Convert voice notes") : tr("Convert voice note");
    const QString start = QString::fromStdString(UserPaths::userFolder() + "/Documents");
    const QString filter = tr("Voice notes (*.opus)");
    const QStringList files =
        several ? QFileDialog::getOpenFileNames(this, title, start, filter)
                : QStringList{QFileDialog::getOpenFileName(this, title, start, filter)};
    for (const QString& file : files) {
        if (!file.isEmpty()) {
            app_.voiceNotes().ConvertSaveOPUSFiletoWAVFileFormat(file.toStdString());
        }
    }
}

// A running scan is stopped before the question: its worker finishes on
// this thread, so the wait runs the event loop instead of blocking it.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    if (app_.isScanning()) {
        app_.requestStop();
        QEventLoop loop;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
            if (!app_.isScanning()) {
                loop.quit();
            }
        });
        poll.start(20);
        loop.exec();
    }
    const bool leave = app_.windowShouldClose();
    closing_ = false;
    if (!leave) {
        event->ignore();
        return;
    }
    saveGeometrySetting();
    preferences_->hide();
    event->accept();
}

void MainWindow::saveGeometrySetting() const {
    QSettings(VessamoApplication::settingsPath(), QSettings::IniFormat)
        .setValue(kGeometryKey, saveGeometry());
}

void MainWindow::restoreGeometrySetting() {
    const QByteArray saved = QSettings(VessamoApplication::settingsPath(), QSettings::IniFormat)
                                 .value(kGeometryKey)
                                 .toByteArray();
    if (saved.isEmpty() || !restoreGeometry(saved)) {
        resize(kFirstSize.expandedTo(minimumSize()));
    }
}

}  // namespace vessamo::gui
