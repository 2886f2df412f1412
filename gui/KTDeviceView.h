#pragma once

#include <QIcon>
#include <QWidget>

#include "app/SourceList.h"
#include "common/NotificationCenter.h"

class QLabel;

namespace vessamo::gui {

class KTExpandButton;

// One source entry of the list: the device picture, the entry's label, a
// muted detail line and the expand arrow. A click anywhere on the row works
// as the arrow does; the source being shown is drawn selected.
class KTDeviceView : public QWidget {
    Q_OBJECT

public:
    KTDeviceView(const SourceListRow& entry, bool current, NotificationCenter& notifications,
                 QWidget* parent = nullptr);

    // The picture of a source: its record's device image for phones and
    // backups ("iphone", "ipad", an iPod by its type), else its kind's.
    [[nodiscard]] static QIcon pictureFor(SourceEntryType type, const KTIOSDeviceNode* record);
    // A backup record's picture, as the backup table shows it.
    [[nodiscard]] static QIcon pictureOf(const KTIOSDeviceNode& record);

    [[nodiscard]] KTExpandButton* expandButton() const { return expand_; }
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString detail() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    SourceEntryId id_;
    bool current_;
    NotificationCenter& notifications_;
    QLabel* title_ = nullptr;
    QLabel* detail_ = nullptr;
    KTExpandButton* expand_ = nullptr;
};

}  // namespace vessamo::gui
