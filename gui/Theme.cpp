#include "Theme.h"

#include <QAbstractButton>
#include <QPalette>
#include <QWidget>

namespace vessamo::gui {

QIcon themedIcon(const QString& freedesktopName, const QString& fallbackResource) {
    // fromTheme's own fallback is only built when the theme lacks the name,
    // so the resource is not parsed for every icon the theme has.
    if (QIcon::hasThemeIcon(freedesktopName)) {
        return QIcon::fromTheme(freedesktopName);
    }
    return QIcon(fallbackResource);
}

QColor Theme::accent() {
    return QColor(0x25, 0xa3, 0x5a);
}

// #1b7f45 against white: 5.0:1; the lighter accent only reaches 3.3:1.
QColor Theme::accentForText() {
    return QColor(0x1b, 0x7f, 0x45);
}

QColor Theme::mutedText(const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Window);
    // 60 % text keeps 4.5:1 on both light and dark windows of the usual
    // themes while still reading as secondary.
    auto mix = [](int a, int b) { return (a * 3 + b * 2) / 5; };
    return QColor(mix(text.red(), back.red()), mix(text.green(), back.green()),
                  mix(text.blue(), back.blue()));
}

QFont Theme::titleFont(const QFont& base, int steps) {
    QFont font = base;
    const int bounded = steps < 1 ? 1 : (steps > 2 ? 2 : steps);
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * (1.0 + 0.2 * bounded));
    } else {
        font.setPixelSize(font.pixelSize() + 3 * bounded);
    }
    font.setBold(true);
    return font;
}

void Theme::makePrimary(QAbstractButton* button) {
    const QString base = accentForText().name();
    const QString hover = accentForText().lighter(112).name();
    const QString pressed = accentForText().darker(120).name();
    // Padding in em so the button grows with the font and the scale factor.
    button->setStyleSheet(
        QStringLiteral("QAbstractButton { background: %1; color: white; border: 1px solid %3;"
                       " border-radius: 4px; padding: 0.4em 1.2em; }"
                       "QAbstractButton:hover { background: %2; }"
                       "QAbstractButton:pressed { background: %3; }"
                       "QAbstractButton:focus { border: 2px solid palette(highlight); }"
                       "QAbstractButton:disabled { background: palette(button);"
                       " color: palette(mid); border-color: palette(mid); }")
            .arg(base, hover, pressed));
}

void Theme::makeMuted(QWidget* widget) {
    QPalette palette = widget->palette();
    const QColor muted = mutedText(palette);
    palette.setColor(QPalette::WindowText, muted);
    palette.setColor(QPalette::Text, muted);
    palette.setColor(QPalette::ButtonText, muted);  // labels inside buttons
    widget->setPalette(palette);
}

}  // namespace vessamo::gui
