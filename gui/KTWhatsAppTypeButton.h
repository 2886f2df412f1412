#pragma once

#include <QToolButton>
#include <optional>

#include "app/OrlendoAppDelegate.h"
#include "common/NotificationCenter.h"

namespace vessamo::gui {

// One of the five categories of an expanded source ("WhatsApp Chat" ...):
// a click posts "KTWhatsAppTypeButtonMouseDown" with the source's record and
// the category's number, which shows the category or starts the scan.
class KTWhatsAppTypeButton : public QToolButton {
    Q_OBJECT

public:
    static constexpr int kFirstType = 1;
    static constexpr int kLastType = 5;

    KTWhatsAppTypeButton(KTIOSDeviceNodePtr record, int btnType, NotificationCenter& notifications,
                         QWidget* parent = nullptr);

    // "WhatsApp Chat" for 1 ... "WhatsApp Favorites Contacts" for 5.
    [[nodiscard]] static QString typeText(int btnType);
    [[nodiscard]] static QIcon typeIcon(int btnType);

    [[nodiscard]] int btnType() const { return btnType_; }
    // How many items the scanned source holds in this category; nullopt
    // (nothing shown) before its scan.
    void setCount(std::optional<size_t> count);
    [[nodiscard]] std::optional<size_t> count() const { return count_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] CategoryButtonClick clickObject() const { return {record_, btnType_}; }

    KTIOSDeviceNodePtr record_;
    int btnType_;
    NotificationCenter& notifications_;
    std::optional<size_t> count_;
};

}  // namespace vessamo::gui
