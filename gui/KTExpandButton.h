#pragma once

#include <QToolButton>

#include "app/SourceList.h"
#include "common/NotificationCenter.h"

namespace vessamo::gui {

// The chevron of a source entry: a click posts "KTExpandButtonMouseDown"
// with the entry's id, and the controller opens or closes its panel.
class KTExpandButton : public QToolButton {
    Q_OBJECT

public:
    KTExpandButton(SourceEntryId id, bool expanded, NotificationCenter& notifications,
                   QWidget* parent = nullptr);

    [[nodiscard]] SourceEntryId entryId() const { return id_; }
    [[nodiscard]] bool isExpanded() const { return expanded_; }

signals:
    // After the notification went out: the list has changed under the view.
    void toggled(vessamo::SourceEntryId id);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void post();

    SourceEntryId id_;
    bool expanded_;
    NotificationCenter& notifications_;
};

}  // namespace vessamo::gui
