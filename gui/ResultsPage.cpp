#include "ResultsPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "CharacterWindow.h"
#include "ChatView.h"
#include "DetailPane.h"
#include "ExportBar.h"
#include "MediaBrowser.h"
#include "PreviewPanel.h"
#include "ResultListModels.h"
#include "ResultSearchField.h"
#include "SelectionBar.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

int indexOf(ResultCategory category) {
    return static_cast<int>(category) - 1;
}

QString titleOf(ResultCategory category) {
    switch (category) {
        case ResultCategory::Chats:
            return ResultsPage::tr("Chats");
        case ResultCategory::Attachments:
            return ResultsPage::tr("Media");
        case ResultCategory::Calls:
            return ResultsPage::tr("Calls");
        case ResultCategory::Contacts:
            return ResultsPage::tr("Contacts");
        case ResultCategory::Favorites:
            return ResultsPage::tr("WhatsApp contacts");
        case ResultCategory::None:
            break;
    }
    return {};
}

QString countText(ResultCategory category, int rows) {
    const QString number = QLocale().toString(rows);
    const bool one = rows == 1;
    switch (category) {
        case ResultCategory::Chats:
            return one ? ResultsPage::tr("1 chat") : ResultsPage::tr("%1 chats").arg(number);
        case ResultCategory::Attachments:
            return one ? ResultsPage::tr("1 file") : ResultsPage::tr("%1 files").arg(number);
        case ResultCategory::Calls:
            return one ? ResultsPage::tr("1 call") : ResultsPage::tr("%1 calls").arg(number);
        default:
            return one ? ResultsPage::tr("1 contact") : ResultsPage::tr("%1 contacts").arg(number);
    }
}

QString emptyText(ResultCategory category) {
    switch (category) {
        case ResultCategory::Chats:
            return ResultsPage::tr("No WhatsApp chats were found in this source.");
        case ResultCategory::Attachments:
            return ResultsPage::tr("No WhatsApp media files were found in this source.");
        case ResultCategory::Calls:
            return ResultsPage::tr("No WhatsApp calls were found in this source.");
        case ResultCategory::Contacts:
            return ResultsPage::tr("No address book was found in this source.");
        default:
            return ResultsPage::tr("No WhatsApp contacts were found in this source.");
    }
}

// Each column is as wide as a text of its widest usual content; the one
// named stretches over what is left.
struct ColumnPlan {
    std::vector<const char*> widest;
    int stretch = 0;
};

constexpr const char* kName = "Alexandra Lindqvist-Okafor";
constexpr const char* kDate = "88-88-8888 88:88";
constexpr const char* kNumber = "888888888888888";

ColumnPlan planOf(ResultCategory category) {
    switch (category) {
        case ResultCategory::Chats:
            return {{kName, "", kDate, "88,888 recovered"}, ChatListModel::LastMessage};
        case ResultCategory::Attachments:
            return {{"", "Location", "888.88 KiB"}, MediaListModel::Name};
        case ResultCategory::Calls:
            return {{"", kNumber, "Outgoing Call", kDate, "Cancelled call"}, CallListModel::Name};
        case ResultCategory::Contacts:
            return {{kName, "", "alexandra.lindqvist@example.com"}, ContactListModel::Numbers};
        default:
            return {{kName, kNumber, ""}, FavouriteListModel::Status};
    }
}

QTableView* makeTable(QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setObjectName("resultTable");
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideRight);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Fixed row heights: the view never measures rows it does not show.
    QHeaderView* rows = table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(table->fontMetrics().height() + 2 * Theme::relatedSpacing);
    QHeaderView* columns = table->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return table;
}

}  // namespace

ResultsPage::ResultsPage(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      title_(new QLabel(this)),
      count_(new QLabel(this)),
      note_(new QLabel(this)),
      search_(new ResultSearchField(app, this)),
      onlyDeleted_(new QCheckBox(QStringLiteral("Only dispaly deleted files"), this)),
      characters_(new QToolButton(this)),
      exports_(new ExportBar(app, this)),
      body_(new QStackedWidget(this)),
      split_(new QSplitter(Qt::Horizontal, body_)),
      table_(makeTable(split_)),
      side_(new QStackedWidget(split_)),
      chatView_(new ChatView(app.resultView().pages(), side_)),
      details_(new DetailPane(app, side_)),
      media_(new MediaBrowser(app, body_)),
      empty_(new QLabel(body_)),
      selection_(new SelectionBar(app, this)),
      preview_(new PreviewPanel(app, this)),
      characterWindow_(new CharacterWindow(app, this)) {
    ResultPages& pages = app_.resultView().pages();
    models_[indexOf(ResultCategory::Chats)] = new ChatListModel(pages, this);
    models_[indexOf(ResultCategory::Attachments)] = new MediaListModel(pages, this);
    models_[indexOf(ResultCategory::Calls)] = new CallListModel(pages, this);
    models_[indexOf(ResultCategory::Contacts)] = new ContactListModel(pages, this);
    models_[indexOf(ResultCategory::Favorites)] = new FavouriteListModel(pages, this);
    buildLayout();
    connectParts();
}

void ResultsPage::buildLayout() {
    title_->setObjectName("resultTitle");
    title_->setFont(Theme::titleFont(font(), 1));
    count_->setObjectName("resultCount");
    Theme::makeMuted(count_);
    note_->setObjectName("resultNote");
    note_->setWordWrap(true);
    Theme::makeMuted(note_);
    empty_->setObjectName("resultEmpty");
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    Theme::makeMuted(empty_);
    search_->setObjectName("resultSearch");
    onlyDeleted_->setObjectName("onlyDeletedBox");
    onlyDeleted_->hide();
    characters_->setObjectName("charactersButton");
    characters_->setIcon(Theme::themedIcon("accessories-text-editor", QString()));
    characters_->setToolTip(tr("Show the scanned database as characters"));
    characters_->setAutoRaise(true);
    preview_->hide();
    characterWindow_->hide();

    side_->addWidget(chatView_);
    side_->addWidget(details_);
    split_->addWidget(table_);
    split_->addWidget(side_);
    split_->setChildrenCollapsible(false);
    split_->setStretchFactor(0, 2);
    split_->setStretchFactor(1, 3);
    body_->addWidget(split_);
    body_->addWidget(media_);
    body_->addWidget(empty_);

    auto* header = new QHBoxLayout;
    header->setSpacing(Theme::relatedSpacing);
    header->addWidget(title_, 0, Qt::AlignBaseline);
    header->addWidget(count_, 0, Qt::AlignBaseline);
    header->addStretch(1);
    header->addWidget(onlyDeleted_);
    header->addWidget(search_);
    header->addWidget(characters_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    column->setSpacing(Theme::relatedSpacing);
    column->addLayout(header);
    column->addWidget(exports_);
    column->addWidget(note_);
    column->addWidget(body_, 1);
    column->addWidget(selection_);
}

void ResultsPage::connectParts() {
    connect(search_, &ResultSearchField::rowsReplaced, this, &ResultsPage::rowsChanged);
    connect(onlyDeleted_, &QCheckBox::toggled, this, [this](bool on) {
        app_.resultView().pages().setOnlyDeleted(on);
        refill(category_);
    });
    connect(characters_, &QToolButton::clicked, characterWindow_, &CharacterWindow::open);
    for (ResultListModel* model : models_) {
        connect(model, &QAbstractItemModel::dataChanged, selection_, &SelectionBar::refresh);
    }
    connect(selection_, &SelectionBar::marksChanged, this, [this] {
        if (ResultListModel* model = modelOf(category_)) {
            model->refreshMarks();  // a reload would lose the selected row
        }
        media_->reload();
    });
    connect(media_, &MediaBrowser::marksChanged, selection_, &SelectionBar::refresh);
    const auto preview = [this](const QString& filePath, const QString& displayName) {
        preview_->preview(filePath, displayName);
    };
    connect(chatView_, &ChatView::previewRequested, this, preview);
    connect(details_, &DetailPane::previewRequested, this, preview);
    connect(media_, &MediaBrowser::previewRequested, this, preview);
}

ResultListModel* ResultsPage::modelOf(ResultCategory category) const {
    const int at = indexOf(category);
    return at >= 0 && at < 5 ? models_[at] : nullptr;
}

void ResultsPage::showCategory(ResultCategory category) {
    ResultPages& pages = app_.resultView().pages();
    // The source's result, as soon as the scan has handed it over: the
    // result view shows it while the scan still finishes.
    if (app_.currentNode && app_.currentNode->scanResult) {
        app_.resultView().showSource(app_.currentNode->scanResult);
    }
    const ResultListsPtr& lists = pages.lists();
    if (category != category_ || shownLists_.lock() != lists ||
        pages.currentTableView() != category) {
        if (category != category_) {
            search_->reset();
        }
        shownLists_ = lists;
        refill(category);
    }
    updateHeader();
}

// Fills the pages' list of the category again and binds the views to it.
void ResultsPage::refill(ResultCategory category) {
    ResultPages& pages = app_.resultView().pages();
    category_ = category;
    pages.showCategory(category);
    const bool deletedFilter =
        category == ResultCategory::Calls || category == ResultCategory::Contacts;
    onlyDeleted_->setVisible(deletedFilter);
    exports_->setCategory(category);
    selection_->setCategory(category);
    if (category == ResultCategory::Attachments) {
        media_->reload();
    } else {
        bindTable(category);
    }
    // The chat page opens its first row itself; its messages follow.
    side_->setCurrentWidget(category == ResultCategory::Chats ? static_cast<QWidget*>(chatView_)
                                                              : details_);
    if (category == ResultCategory::Chats) {
        chatView_->showConversationOnceOpened();
    } else if (category != ResultCategory::Attachments) {
        details_->showDetails(category);
    }
    updateHeader();
}

void ResultsPage::rowsChanged() {
    if (ResultListModel* model = modelOf(category_)) {
        model->reload();
        // A search picks the first row it found: the table and the pane
        // beside it follow.
        selectShownRow();
    }
    if (category_ == ResultCategory::Attachments) {
        media_->reload();
    } else if (category_ == ResultCategory::Chats) {
        chatView_->showConversationOnceOpened();
    } else {
        details_->showDetails(category_);
    }
    selection_->refresh();
    updateHeader();
}

void ResultsPage::bindTable(ResultCategory category) {
    ResultListModel* model = modelOf(category);
    if (model == nullptr) {
        updateHeader();
        return;
    }
    model->reload();
    if (table_->model() != model) {
        table_->setModel(model);
        connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                &ResultsPage::rowChosen);
    }
    const ColumnPlan plan = planOf(category);
    QHeaderView* columns = table_->horizontalHeader();
    columns->setStretchLastSection(false);
    const QFontMetrics metrics = table_->fontMetrics();
    // The first column holds the check box before its text.
    const int checkBox =
        table_->style()->pixelMetric(QStyle::PM_IndicatorWidth) + Theme::relatedSpacing;
    for (int at = 0; at < static_cast<int>(plan.widest.size()); ++at) {
        if (at == plan.stretch) {
            columns->setSectionResizeMode(at, QHeaderView::Stretch);
        } else {
            columns->setSectionResizeMode(at, QHeaderView::Interactive);
            const QString widest = QString::fromUtf8(plan.widest[static_cast<size_t>(at)]);
            table_->setColumnWidth(at, metrics.horizontalAdvance(widest) +
                                           3 * Theme::relatedSpacing + (at == 0 ? checkBox : 0));
        }
    }
    selectShownRow();
}

void ResultsPage::rowChosen(const QModelIndex& current) {
    if (!current.isValid()) {
        return;
    }
    app_.resultView().pages().tableViewSelectionDidChange(static_cast<size_t>(current.row()));
    if (category_ == ResultCategory::Chats) {
        chatView_->showConversationOnceOpened();
    } else {
        details_->showDetails(category_);
    }
}

// The pages chose the first row of some lists already; the table shows the same.
void ResultsPage::selectShownRow() {
    const std::optional<size_t> row = app_.resultView().pages().selectedRow();
    QItemSelectionModel* selection = table_->selectionModel();
    if (!row || selection == nullptr || static_cast<int>(*row) >= table_->model()->rowCount()) {
        return;
    }
    const QSignalBlocker quiet(selection);  // the pages know already
    const QModelIndex index = table_->model()->index(static_cast<int>(*row), 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(index);
}

void ResultsPage::updateHeader() {
    title_->setText(titleOf(category_));
    ResultListModel* model = modelOf(category_);
    const int rows = model != nullptr ? model->rowCount() : 0;
    count_->setText(model != nullptr ? countText(category_, rows) : QString());
    const ResultListsPtr& lists = app_.resultView().pages().lists();
    const bool stopped = lists && lists->result && lists->result->stopped;
    note_->setText(stopped ? tr("The scan was stopped: these are the results it found until "
                                "then.")
                           : QString());
    note_->setVisible(stopped);
    empty_->setText(emptyText(category_));
    QWidget* list =
        category_ == ResultCategory::Attachments ? static_cast<QWidget*>(media_) : split_;
    body_->setCurrentWidget(rows > 0 ? list : empty_);
}

}  // namespace vessamo::gui
