#include "BackupTablePage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "BackupTableModel.h"
#include "Theme.h"

// Resources of a static library are linked in only when something names them.
static void initBackupTableIcons() {
    Q_INIT_RESOURCE(sources);
}

namespace vessamo::gui {

namespace {

QTableView* makeTable(BackupTableModel* model, QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->setIconSize(QSize(24, 24));
    table->verticalHeader()->hide();
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(BackupTableModel::Name, QHeaderView::Stretch);
    table->setTabKeyNavigation(false);
    return table;
}

}  // namespace

BackupTablePage::BackupTablePage(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent), app_(app), model_(new BackupTableModel(this)) {
    initBackupTableIcons();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    layout->setSpacing(Theme::relatedSpacing);

    auto* title = new QLabel(tr("Backups on this computer"), this);
    title->setFont(Theme::titleFont(font()));
    layout->addWidget(title);

    stack_ = new QStackedWidget(this);
    table_ = makeTable(model_, stack_);
    empty_ = new QLabel(tr("No backup of an iPhone was found on this computer. Back up your iPhone "
                           "with Finder or iTunes, then press Refresh, or choose a backup folder."),
                        stack_);
    empty_->setWordWrap(true);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setMargin(Theme::groupSpacing);
    stack_->addWidget(table_);
    stack_->addWidget(empty_);
    layout->addWidget(stack_, 1);
    layout->addSpacing(Theme::groupSpacing - Theme::relatedSpacing);
    buildButtons(this);

    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &BackupTablePage::updateButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, &BackupTablePage::updateButtons);
    connect(table_, &QTableView::doubleClicked, this, &BackupTablePage::scanSelected);
    reload();
}

void BackupTablePage::buildButtons(QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(Theme::relatedSpacing);
    refresh_ = new QPushButton(themedIcon("view-refresh", QString()), tr("Refresh"), parent);
    choose_ = new QPushButton(themedIcon("folder-open", QString()), tr("Choose a backup folder…"),
                              parent);
    // Enter on a focused button presses it, as Space does.
    refresh_->setAutoDefault(true);
    choose_->setAutoDefault(true);
    scan_ = new QPushButton(tr("Scan"), parent);
    scan_->setDefault(true);
    Theme::makePrimary(scan_);
    row->addWidget(refresh_);
    row->addWidget(choose_);
    row->addStretch(1);
    row->addWidget(scan_);
    static_cast<QBoxLayout*>(layout())->addLayout(row);

    connect(refresh_, &QPushButton::clicked, this, &BackupTablePage::refresh);
    connect(choose_, &QPushButton::clicked, this, [this] { app_.SelectBackUpAction(); });
    connect(scan_, &QPushButton::clicked, this, &BackupTablePage::scanSelected);
}

void BackupTablePage::reload() {
    model_->reload(app_.GetKTIOSDeviceController().records());
    stack_->setCurrentWidget(model_->rowCount() > 0 ? static_cast<QWidget*>(table_) : empty_);
    updateButtons();
}

int BackupTablePage::selectedRow() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void BackupTablePage::updateButtons() {
    scan_->setEnabled(selectedRow() >= 0);
}

void BackupTablePage::scanSelected() {
    const int row = selectedRow();
    if (row >= 0) {
        app_.ClickStartScan(row);
    }
}

void BackupTablePage::refresh() {
    app_.actScanIOSBackupFile();
    app_.buildLeftView();
    reload();
    emit sourcesChanged();
}

}  // namespace vessamo::gui
