#pragma once

#include <QIcon>
#include <QString>

#include "MediaBrowserModel.h"

namespace vessamo::gui {

// The pictures that stand for a media file that shows no picture of its
// own: the desktop theme's icon of its type, else ours.
class MediaIcons {
public:
    // The icon of a kind; documents by their file name's type.
    [[nodiscard]] static QIcon of(MediaBrowserModel::Kind kind, const QString& fileName = {});
    // The application's own picture of a person without one.
    [[nodiscard]] static QIcon contact();
    [[nodiscard]] static QIcon play();
    [[nodiscard]] static QIcon pause();
};

}  // namespace vessamo::gui
