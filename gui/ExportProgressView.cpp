#include "ExportProgressView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "Theme.h"

namespace vessamo::gui {

namespace {

constexpr int kFollowMs = 200;
constexpr int kIdleMs = 1000;

QString stateOf(const ExportProgress& progress) {
    const QLocale locale;
    if (!progress.finished) {
        if (progress.total > 0) {
            return ExportProgressView::tr("%1 of %2")
                .arg(locale.toString(progress.done), locale.toString(progress.total));
        }
        return ExportProgressView::tr("Saving…");
    }
    const QString files =
        progress.filesWritten == 1
            ? ExportProgressView::tr("1 file")
            : ExportProgressView::tr("%1 files")
                  .arg(locale.toString(static_cast<qulonglong>(progress.filesWritten)));
    if (progress.failures == 0) {
        return ExportProgressView::tr("Done: %1").arg(files);
    }
    return ExportProgressView::tr("Done: %1, %2 could not be saved")
        .arg(files, locale.toString(static_cast<qulonglong>(progress.failures)));
}

}  // namespace

ExportProgressView::ExportProgressView(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent), app_(app), timer_(new QTimer(this)) {
    setObjectName("exportProgressView");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(Theme::relatedSpacing / 2);
    hide();  // until there is an export to show
    connect(timer_, &QTimer::timeout, this, &ExportProgressView::poll);
    timer_->start(kIdleMs);
}

QString ExportProgressView::nameOf(ExportButton button) {
    switch (button) {
        case ExportButton::exportChatHtmlBtn:
            return tr("Chats as web pages");
        case ExportButton::exportChatReportBtn:
            return tr("Chat report");
        case ExportButton::exportChatTxtBtn:
            return tr("Chats as text");
        case ExportButton::exportCHatContactBtn:
            return tr("People of the chats");
        case ExportButton::exportCHatAttachBtn:
            return tr("Chat attachments");
        case ExportButton::exportAllFilesBtn:
            return tr("All media files");
        case ExportButton::exportAllVideosBtn:
            return tr("All videos");
        case ExportButton::exportAllAudioBtn:
            return tr("All audio");
        case ExportButton::exportAllPhotosBtn:
            return tr("All photos");
        case ExportButton::exportMediaBtn:
            return tr("Selected media files");
        case ExportButton::exportCallBtn:
            return tr("Calls");
        case ExportButton::exportContactBtn:
            return tr("Contacts");
        case ExportButton::exportFavContactBtn:
            return tr("WhatsApp contacts");
        case ExportButton::recoveryBtn:
            return tr("Marked records");
        case ExportButton::hexExportBtn:
            return tr("Characters");
    }
    return {};
}

int ExportProgressView::nameWidth() const {
    int widest = 0;
    for (int at = 0; at <= static_cast<int>(ExportButton::hexExportBtn); ++at) {
        widest = std::max(widest,
                          fontMetrics().horizontalAdvance(nameOf(static_cast<ExportButton>(at))));
    }
    return widest;
}

void ExportProgressView::follow() {
    timer_->start(kFollowMs);
    poll();
}

void ExportProgressView::poll() {
    const ResultExportCommands& commands = app_.exportCommands();
    bool running = false;
    // Only the newest few are read: the list of all exports only grows.
    const uint64_t newest = commands.lastStartedExport();
    const uint64_t first = newest > kShownExports ? newest - kShownExports + 1 : 1;
    for (uint64_t id = first; id <= newest; ++id) {
        const std::optional<ExportProgress> progress = commands.progressOf(id);
        if (!progress) {
            continue;
        }
        const bool seen =
            std::any_of(rows_.begin(), rows_.end(), [id](const Row& row) { return row.id == id; });
        if (!progress->finished || seen || id > known_) {
            fill(rowFor(*progress), *progress);
        }
        running = running || !progress->finished;
    }
    known_ = std::max(known_, newest);
    dropOldRows();
    setVisible(!rows_.empty());
    const int interval = running ? kFollowMs : kIdleMs;
    if (timer_->interval() != interval) {
        timer_->start(interval);
    }
}

ExportProgressView::Row& ExportProgressView::rowFor(const ExportProgress& progress) {
    for (Row& row : rows_) {
        if (row.id == progress.id) {
            return row;
        }
    }
    Row row;
    row.id = progress.id;
    row.widget = new QWidget(this);
    row.widget->setObjectName("exportProgressRow");
    row.name = new QLabel(nameOf(progress.button), row.widget);
    row.name->setObjectName("exportProgressName");
    // The bars of the rows line up: every name takes the room of the longest.
    row.name->setMinimumWidth(nameWidth());
    row.bar = new QProgressBar(row.widget);
    row.bar->setObjectName("exportProgressBar");
    row.bar->setTextVisible(false);
    row.bar->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("M")) * 14);
    row.state = new QLabel(row.widget);
    row.state->setObjectName("exportProgressState");
    Theme::makeMuted(row.state);
    auto* line = new QHBoxLayout(row.widget);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(Theme::relatedSpacing);
    line->addWidget(row.name);
    line->addWidget(row.bar);
    line->addWidget(row.state, 1);
    static_cast<QVBoxLayout*>(layout())->addWidget(row.widget);
    rows_.push_back(row);
    return rows_.back();
}

void ExportProgressView::fill(Row& row, const ExportProgress& progress) {
    if (progress.finished) {
        row.bar->setRange(0, 1);
        row.bar->setValue(1);
    } else if (progress.total > 0) {
        row.bar->setRange(0, progress.total);
        row.bar->setValue(std::min(progress.done, progress.total));
    } else {
        row.bar->setRange(0, 0);  // busy: this export names no count ahead
    }
    row.state->setText(stateOf(progress));
    const QString where = QString::fromStdString(progress.revealed.empty() ? progress.destination
                                                                           : progress.revealed);
    row.widget->setToolTip(where);
}

void ExportProgressView::dropOldRows() {
    while (rows_.size() > static_cast<size_t>(kShownExports)) {
        delete rows_.front().widget;
        rows_.erase(rows_.begin());
    }
}

}  // namespace vessamo::gui
