#pragma once

#include <QPointer>
#include <QWidget>

class QPropertyAnimation;

namespace vessamo {
class OrlendoAppDelegate;
}

namespace vessamo::gui {

// A panel that slides in over the window from its right edge: where to
// learn more, ask for help and send suggestions. Its content is 340 by 542
// points; it follows the window's size and closes again on request.
class SideDrawer : public QWidget {
    Q_OBJECT

public:
    enum class State { Closed, Opening, Open, Closing };

    // host: the widget the drawer slides over (the main window).
    SideDrawer(OrlendoAppDelegate& app, QWidget& host);

    // Opens when closed or closing, closes when open or opening.
    void toggle();
    void openDrawer();
    void closeDrawer();
    [[nodiscard]] State state() const { return state_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildContent();
    void slideTo(bool opened);
    [[nodiscard]] QPoint openPosition() const;
    [[nodiscard]] QPoint closedPosition() const;
    void placeAtRest();

    OrlendoAppDelegate& app_;
    QWidget& host_;
    QPropertyAnimation* animation_;
    State state_ = State::Closed;
};

}  // namespace vessamo::gui
