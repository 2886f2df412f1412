#include "SourceListView.h"

#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>

#include "KTDeviceView.h"
#include "KTExpandButton.h"
#include "KTLeftTipButton.h"
#include "KTScanVSButton.h"
#include "KTWhatAppView.h"
#include "KTWhatsAppTypeButton.h"
#include "Theme.h"

// Resources of a static library are linked in only when something names them.
static void initSourceIcons() {
    Q_INIT_RESOURCE(sources);
}

namespace vessamo::gui {

namespace {

// The scan button's "type": a category number, and the chats are what a
// first scan shows.
constexpr int kScanChats = 1;

QLabel* makeHeader(const SourceListRow& row, QWidget* parent) {
    auto* header = new QLabel(QString::fromStdString(row.title), parent);
    header->setTextFormat(Qt::PlainText);
    // Muted and bold, in the titles' own case: small capitals would turn the
    // "i" of "iOS" and "iCloud" into a dotless one in some fonts.
    QFont font = header->font();
    font.setBold(true);
    header->setFont(font);
    Theme::makeMuted(header);
    header->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    header->setContentsMargins(Theme::windowMargin, 0, Theme::windowMargin, Theme::relatedSpacing);
    return header;
}

}  // namespace

SourceListView::SourceListView(OrlendoAppDelegate& app, NotificationCenter& notifications,
                               QWidget* parent)
    : QScrollArea(parent), app_(app), notifications_(notifications) {
    initSourceIcons();
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundRole(QPalette::Base);
    scan_ = new KTScanVSButton(kScanChats, notifications_, this);
    reload();
}

int SourceListView::documentHeight() const {
    return document_ != nullptr ? document_->height() : 0;
}

void SourceListView::reload() {
    const FocusMark mark = focusMark();
    const int scrolled = verticalScrollBar()->value();

    rows_.clear();
    panels_.clear();
    // The old rows may be in the middle of delivering the click that asked
    // for this rebuild: they go once it has returned.
    if (QWidget* old = takeWidget()) {
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    document_ = new QWidget;
    document_->setBackgroundRole(QPalette::Base);
    const SourceList& list = app_.sourceList();
    shownCurrent_ = app_.currentNode.get();
    QWidget* lastFocusable = nullptr;
    for (const SourceListRow& row : list.rows()) {
        QWidget* widget = makeRow(row, document_);
        rows_.push_back({widget, row.kind, row.id, row.placeholderType, row.top, row.height});
        if (row.kind != SourceListRow::Kind::Header) {
            lastFocusable = widget;
        }
    }
    document_->resize(viewport()->width(), list.leftViewHeight());
    setWidget(document_);
    layoutRows();
    if (lastFocusable != nullptr) {
        QWidget::setTabOrder(lastFocusable, scan_);
    }
    setCategoryButtonsEnabled(categoriesEnabled_);
    verticalScrollBar()->setValue(scrolled);
    restoreFocus(mark);
}

QWidget* SourceListView::makeRow(const SourceListRow& row, QWidget* document) {
    switch (row.kind) {
        case SourceListRow::Kind::Header:
            return makeHeader(row, document);
        case SourceListRow::Kind::Entry: {
            if (isPlaceholder(row.type)) {
                return new KTLeftTipButton(row, notifications_, document);
            }
            const bool current = row.record != nullptr && row.record == app_.currentNode;
            auto* view = new KTDeviceView(row, current, notifications_, document);
            // Queued: the click that asked for it is still being delivered.
            connect(view->expandButton(), &KTExpandButton::toggled, this,
                    &SourceListView::scheduleReload);
            return view;
        }
        case SourceListRow::Kind::Panel: {
            auto* panel = new KTWhatAppView(row, notifications_, document);
            panels_.push_back(panel);
            return panel;
        }
    }
    return new QWidget(document);
}

void SourceListView::setCategoryButtonsEnabled(bool enabled) {
    const bool scanEnded = enabled && !categoriesEnabled_;
    categoriesEnabled_ = enabled;
    for (KTWhatAppView* panel : panels_) {
        panel->setButtonsEnabled(enabled);
    }
    scan_->setEnabled(enabled);
    // A finished scan brings counts for its panel, a new source is drawn
    // selected: both need the rows drawn again.
    if (scanEnded || app_.currentNode.get() != shownCurrent_) {
        scheduleReload();
    }
}

void SourceListView::scheduleReload() {
    if (reloadPending_) {
        return;
    }
    reloadPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            reloadPending_ = false;
            reload();
        },
        Qt::QueuedConnection);
}

void SourceListView::resizeEvent(QResizeEvent* event) {
    // The scan button lives in a band below the rows, so it stays in view
    // however far the list is scrolled.
    const int buttonHeight = scan_->sizeHint().height();
    const int band = buttonHeight + 2 * Theme::windowMargin;
    setViewportMargins(0, 0, 0, band);
    QScrollArea::resizeEvent(event);
    scan_->setGeometry(Theme::windowMargin, height() - band + Theme::windowMargin,
                       viewport()->width() - 2 * Theme::windowMargin, buttonHeight);
    layoutRows();
}

void SourceListView::layoutRows() {
    if (document_ == nullptr) {
        return;
    }
    const int width = viewport()->width();
    document_->resize(width, app_.sourceList().leftViewHeight());
    for (const PlacedRow& row : rows_) {
        row.widget->setGeometry(0, row.top, width, row.height);
    }
}

SourceListView::FocusMark SourceListView::focusMark() const {
    QWidget* focused = QApplication::focusWidget();
    FocusMark mark;
    if (focused == nullptr || (focused != scan_ && !isAncestorOf(focused))) {
        return mark;
    }
    if (focused == scan_) {
        mark.kind = FocusMark::Kind::Scan;
    } else if (auto* expand = qobject_cast<KTExpandButton*>(focused)) {
        mark = {FocusMark::Kind::Expand, expand->entryId(), 0};
    } else if (auto* tip = qobject_cast<KTLeftTipButton*>(focused)) {
        mark = {FocusMark::Kind::Placeholder, {}, tip->btnType()};
    } else if (auto* category = qobject_cast<KTWhatsAppTypeButton*>(focused)) {
        QWidget* panel = category->parentWidget();
        const auto it = std::find_if(rows_.begin(), rows_.end(),
                                     [panel](const PlacedRow& row) { return row.widget == panel; });
        if (it != rows_.end()) {
            mark = {FocusMark::Kind::Category, it->id, category->btnType()};
        }
    }
    return mark;
}

void SourceListView::restoreFocus(const FocusMark& mark) {
    if (mark.kind == FocusMark::Kind::None) {
        return;
    }
    if (mark.kind == FocusMark::Kind::Scan) {
        scan_->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (const PlacedRow& row : rows_) {
        QWidget* widget = row.widget;
        QWidget* target = nullptr;
        if (mark.kind == FocusMark::Kind::Expand && row.kind == SourceListRow::Kind::Entry &&
            row.id == mark.id) {
            if (auto* view = qobject_cast<KTDeviceView*>(widget)) {
                target = view->expandButton();
            }
        } else if (mark.kind == FocusMark::Kind::Placeholder &&
                   row.placeholderType == mark.number) {
            target = widget;
        } else if (mark.kind == FocusMark::Kind::Category &&
                   row.kind == SourceListRow::Kind::Panel && row.id == mark.id) {
            auto* panel = qobject_cast<KTWhatAppView*>(widget);
            target = panel->buttons().at(static_cast<size_t>(mark.number - 1));
        }
        if (target != nullptr) {
            target->setFocus(Qt::OtherFocusReason);
            ensureWidgetVisible(target);
            return;
        }
    }
}

}  // namespace vessamo::gui
