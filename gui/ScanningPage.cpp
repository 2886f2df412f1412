#include "ScanningPage.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "BusyIndicator.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

// Hidden parts keep their room, so nothing below them jumps when they appear.
void keepRoomWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QLabel* centredLabel(QWidget* parent, const QString& name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

}  // namespace

ScanningPage::ScanningPage(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      busy_(new BusyIndicator(this)),
      percent_(centredLabel(this, "scanPercent")),
      progress_(new QProgressBar(this)),
      messageCount_(centredLabel(this, "scanMessageCount")),
      stage_(centredLabel(this, "scanStage")),
      stop_(new QPushButton(tr("Stop"), this)) {
    // The figures a person watches, in the larger of the page's two sizes.
    const QFont figures = Theme::titleFont(font(), 2);
    percent_->setFont(figures);
    QFont count = figures;
    count.setBold(false);
    messageCount_->setFont(count);
    percent_->setAccessibleName(tr("Progress"));
    messageCount_->setAccessibleName(tr("Messages read"));
    Theme::makeMuted(stage_);

    progress_->setObjectName("scanProgress");
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->setMinimumWidth(320);
    progress_->setMaximumWidth(480);
    progress_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    stop_->setObjectName("scanStop");
    stop_->setAutoDefault(false);
    stop_->setToolTip(tr("Stop the scan and show what was found so far"));
    connect(stop_, &QPushButton::clicked, this, [this] { app_.stopButtonClicked(); });

    for (QWidget* part : {static_cast<QWidget*>(percent_), static_cast<QWidget*>(progress_),
                          static_cast<QWidget*>(messageCount_), static_cast<QWidget*>(stop_)}) {
        keepRoomWhenHidden(part);
    }

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    column->setSpacing(Theme::relatedSpacing);
    column->addStretch(2);
    column->addWidget(busy_, 0, Qt::AlignHCenter);
    column->addSpacing(Theme::groupSpacing);
    column->addWidget(percent_);
    column->addWidget(progress_, 0, Qt::AlignHCenter);
    column->addWidget(messageCount_);
    column->addWidget(stage_);
    column->addSpacing(Theme::groupSpacing);
    column->addWidget(stop_, 0, Qt::AlignHCenter);
    column->addStretch(3);
}

void ScanningPage::showState(const ResultViewState& state) {
    busy_->setRunning(state.scanningAnimation);
    percent_->setText(QString::fromStdString(state.percentText));
    progress_->setVisible(state.progressVisible);
    progress_->setValue(std::clamp(state.progressValue, 0, 100));
    messageCount_->setText(QString::fromStdString(state.messageCountText));
    messageCount_->setVisible(state.messageCountVisible && !state.messageCountText.empty());
    const std::string stage = stageDescription(state.stageName);
    stage_->setText(stage.empty() ? QString()
                                  : QString::fromStdString(stage) + QStringLiteral("…"));
    stop_->setVisible(state.stopButtonVisible);
}

}  // namespace vessamo::gui
