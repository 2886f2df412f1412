#include "RecoveryProgressWindow.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "Theme.h"

namespace vessamo::gui {

RecoveryProgressWindow::RecoveryProgressWindow(OrlendoAppDelegate& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      title_(new QLabel(tr("Saving the marked files…"), this)),
      bar_(new QProgressBar(this)),
      count_(new QLabel(this)),
      timer_(new QTimer(this)) {
    setObjectName("recoveryProgressWindow");
    setWindowTitle(tr("Saving"));
    setWindowModality(Qt::WindowModal);
    title_->setObjectName("recoveryProgressTitle");
    title_->setFont(Theme::titleFont(font(), 1));
    bar_->setObjectName("recoveryProgressBar");
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(320);
    count_->setObjectName("recoveryProgressCount");
    Theme::makeMuted(count_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    column->setSpacing(Theme::relatedSpacing);
    column->addWidget(title_);
    column->addWidget(bar_);
    column->addWidget(count_);
    // The count is read once a second, as long as the window shows.
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &RecoveryProgressWindow::update);
}

void RecoveryProgressWindow::watch(uint64_t exportId) {
    watched_ = exportId;
    bar_->setRange(0, 0);
    count_->clear();
    update();
    if (watched_ != 0) {
        show();
        raise();
        timer_->start();
    }
}

void RecoveryProgressWindow::update() {
    const std::optional<ExportProgress> progress = app_.exportCommands().progressOf(watched_);
    if (!progress) {
        timer_->stop();
        hide();
        return;
    }
    if (progress->total > 0) {
        bar_->setRange(0, progress->total);
        bar_->setValue(std::min(progress->done, progress->total));
        const QLocale locale;
        count_->setText(
            tr("%1 of %2 items")
                .arg(locale.toString(progress->done), locale.toString(progress->total)));
    }
    if (progress->finished) {
        timer_->stop();
        hide();
        emit recoveryFinished();
    }
}

}  // namespace vessamo::gui
