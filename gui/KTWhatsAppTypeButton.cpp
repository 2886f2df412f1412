#include "KTWhatsAppTypeButton.h"

#include <QLocale>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <array>
#include <utility>

#include "ControlEvents.h"
#include "Theme.h"

namespace vessamo::gui {

namespace {

struct TypeLook {
    const char* text;
    const char* themeName;
    const char* fallback;
};

constexpr std::array<TypeLook, 5> kTypes{{
    {"WhatsApp Chat", "mail-message", ":/icons/sources/chats.svg"},
    {"WhatsApp Media files", "image-x-generic", ":/icons/sources/media.svg"},
    {"WhatsApp Call", "call-start", ":/icons/sources/calls.svg"},
    {"WhatsApp Contacts", "x-office-address-book", ":/icons/sources/contacts.svg"},
    {"WhatsApp Favorites Contacts", "emblem-favorite", ":/icons/sources/favourites.svg"},
}};

const TypeLook* lookOf(int btnType) {
    if (btnType < KTWhatsAppTypeButton::kFirstType || btnType > KTWhatsAppTypeButton::kLastType) {
        return nullptr;
    }
    return &kTypes[static_cast<size_t>(btnType - 1)];
}

}  // namespace

QString KTWhatsAppTypeButton::typeText(int btnType) {
    const TypeLook* look = lookOf(btnType);
    return look != nullptr ? QString::fromLatin1(look->text) : QString();
}

QIcon KTWhatsAppTypeButton::typeIcon(int btnType) {
    const TypeLook* look = lookOf(btnType);
    return look != nullptr ? themedIcon(look->themeName, look->fallback) : QIcon();
}

KTWhatsAppTypeButton::KTWhatsAppTypeButton(KTIOSDeviceNodePtr record, int btnType,
                                           NotificationCenter& notifications, QWidget* parent)
    : QToolButton(parent),
      record_(std::move(record)),
      btnType_(btnType),
      notifications_(notifications) {
    ControlEvents::install(*this, notifications, "KTWhatsAppTypeButton", clickObject());
    setAutoRaise(true);
    setFocusPolicy(Qt::StrongFocus);
    setText(typeText(btnType));
    setIcon(typeIcon(btnType));
    setIconSize(QSize(16, 16));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QToolButton::clicked, this,
            [this] { notifications_.post("KTWhatsAppTypeButtonMouseDown", clickObject()); });
}

void KTWhatsAppTypeButton::setCount(std::optional<size_t> count) {
    count_ = count;
    setAccessibleName(count ? tr("%1, %2").arg(text()).arg(*count) : text());
    update();
}

// Icon and name at the left, the count right-aligned and muted; the style
// draws hover and pressed, the focus ring is ours so every style shows it.
void KTWhatsAppTypeButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);

    QRect area = rect().adjusted(8, 0, -8, 0);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    if (count_) {
        const QString number = QLocale().toString(static_cast<qulonglong>(*count_));
        const int width = fontMetrics().horizontalAdvance(number);
        painter.setPen(isEnabled() ? Theme::mutedText(palette())
                                   : palette().color(group, QPalette::WindowText));
        painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, number);
        area.setRight(area.right() - width - 8);
    }
    const QRect picture(area.left(), area.center().y() - 8, 16, 16);
    icon().paint(&painter, picture, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    const QRect textArea = area.adjusted(16 + 8, 0, 0, 0);
    painter.setPen(palette().color(group, QPalette::WindowText));
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textArea.width()));

    paintFocusRing(painter, *this, 1);
}

}  // namespace vessamo::gui
