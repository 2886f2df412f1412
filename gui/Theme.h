#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

class QAbstractButton;
class QPalette;
class QWidget;

namespace vessamo::gui {

// An icon of the desktop's freedesktop theme ("folder", "phone", ...), or our
// own SVG from the resources (":/icons/<name>.svg") when the theme has none.
[[nodiscard]] QIcon themedIcon(const QString& freedesktopName, const QString& fallbackResource);

// The look every view shares: the system palette and font, one accent
// colour, an 8-pixel grid. Views ask here instead of picking their own.
class Theme {
public:
    // The 8-pixel grid: window edges, related controls, groups.
    static constexpr int windowMargin = 16;
    static constexpr int relatedSpacing = 8;
    static constexpr int groupSpacing = 24;

    [[nodiscard]] static QIcon themedIcon(const QString& freedesktopName,
                                          const QString& fallbackResource) {
        return gui::themedIcon(freedesktopName, fallbackResource);
    }

    // #25a35a: marks and sent bubbles, where no text sits on it.
    [[nodiscard]] static QColor accent();
    // A darker shade of the accent that white text reads on at 4.5:1 or
    // better: the background of primary buttons.
    [[nodiscard]] static QColor accentForText();
    // The palette's text colour halfway to its background: detail lines,
    // section headers, stage lines.
    [[nodiscard]] static QColor mutedText(const QPalette& palette);

    // The base font one or two steps larger (never more), bold for titles.
    [[nodiscard]] static QFont titleFont(const QFont& base, int steps = 1);

    // The screen's one primary action: accent background, white text, with
    // hover, pressed, focus and disabled states.
    static void makePrimary(QAbstractButton* button);
    // Paints a label or other widget's text in the muted colour.
    static void makeMuted(QWidget* widget);
};

}  // namespace vessamo::gui
