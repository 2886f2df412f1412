#pragma once

#include <QAbstractButton>
#include <QFrame>

#include "common/NotificationCenter.h"
#include "results/KTTimeLineFileNode.h"

class QLabel;

namespace vessamo::gui {

// A button of a Timeline row: its image follows the mouse (normal, under the
// pointer, pressed) and goes back to normal once it has acted. It tells the
// controller of the pointer entering and leaving and of a press, as the
// "KTTimeLineButton" control does.
class TimelineButton : public QAbstractButton {
    Q_OBJECT

public:
    enum class Side { Left, Right };  // the images of "Back to iDevice" and "Show Content"
    enum class Look { Normal, Hover, Pressed };

    TimelineButton(Side side, const QString& text, NotificationCenter& notifications,
                   QWidget* parent = nullptr);

    [[nodiscard]] Look look() const;
    // The resource of the image drawn for a look.
    [[nodiscard]] QString imageOf(Look look) const;

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    [[nodiscard]] QString shownText() const;

    Side side_;
    NotificationCenter& notifications_;
    bool hovered_ = false;
};

// One Timeline backup in the Timeline view: its date (the folder's name)
// and the two buttons. The row keeps the backup it stands for.
class TimelineRow : public QFrame {
    Q_OBJECT

public:
    TimelineRow(KTTimeLineFileNode node, NotificationCenter& notifications,
                QWidget* parent = nullptr);

    [[nodiscard]] const KTTimeLineFileNode& currentFileNode() const { return node_; }
    [[nodiscard]] QLabel* dateLabel() const { return date_; }
    [[nodiscard]] TimelineButton* backButton() const { return back_; }
    [[nodiscard]] TimelineButton* showButton() const { return show_; }

    // The text of the date label.
    void SetTimeDateString(const QString& text);

signals:
    void backToDeviceClicked(const KTTimeLineFileNode& node);
    void showContentClicked(const KTTimeLineFileNode& node);

private:
    KTTimeLineFileNode node_;
    QLabel* date_;
    TimelineButton* back_;
    TimelineButton* show_;
};

}  // namespace vessamo::gui
