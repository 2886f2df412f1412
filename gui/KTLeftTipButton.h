#pragma once

#include <QToolButton>

#include "app/SourceList.h"
#include "common/NotificationCenter.h"

namespace vessamo::gui {

// The entry that stands in an empty section ("Setup iTunes Backup", ...): a
// click posts "KTLeftTipButtonMouseDown" with its placeholder number and the
// controller shows the page that explains how to get such a source.
class KTLeftTipButton : public QToolButton {
    Q_OBJECT

public:
    KTLeftTipButton(const SourceListRow& placeholder, NotificationCenter& notifications,
                    QWidget* parent = nullptr);

    [[nodiscard]] int btnType() const { return btnType_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int btnType_;
    NotificationCenter& notifications_;
};

}  // namespace vessamo::gui
