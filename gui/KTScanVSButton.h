#pragma once

#include <QPushButton>

#include "common/NotificationCenter.h"

namespace vessamo::gui {

// The large scan button under the source list: posts
// "KTScanVSButtonMouseDown" with its type, which scans the connected device
// or else the first backup when no source is on show yet.
class KTScanVSButton : public QPushButton {
    Q_OBJECT

public:
    KTScanVSButton(int type, NotificationCenter& notifications, QWidget* parent = nullptr);

    [[nodiscard]] int type() const { return type_; }

protected:
private:
    int type_;
    NotificationCenter& notifications_;
};

}  // namespace vessamo::gui
