#include "MediaIcons.h"

#include <QHash>
#include <QMimeDatabase>

#include "Theme.h"

namespace vessamo::gui {

namespace {

QIcon themed(const char* name, const char* fallback) {
    return Theme::themedIcon(QString::fromLatin1(name),
                             QStringLiteral(":/icons/media/%1.svg").arg(QLatin1String(fallback)));
}

// Documents by type, looked up by name only: the file is never opened.
QIcon documentIcon(const QString& fileName) {
    static QHash<QString, QIcon> byMime;  // interface thread only
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    const auto known = byMime.constFind(mime.name());
    if (known != byMime.constEnd()) {
        return *known;
    }
    QIcon icon;
    if (!mime.isDefault() && QIcon::hasThemeIcon(mime.iconName())) {
        icon = QIcon::fromTheme(mime.iconName());
    } else if (!mime.isDefault() && QIcon::hasThemeIcon(mime.genericIconName())) {
        icon = QIcon::fromTheme(mime.genericIconName());
    } else {
        icon = themed("text-x-generic", "document");
    }
    byMime.insert(mime.name(), icon);
    return icon;
}

}  // namespace

QIcon MediaIcons::of(MediaBrowserModel::Kind kind, const QString& fileName) {
    switch (kind) {
        case MediaBrowserModel::Kind::Picture:
            return themed("image-x-generic", "picture");
        case MediaBrowserModel::Kind::Video:
            return themed("video-x-generic", "video");
        case MediaBrowserModel::Kind::Audio:
            return themed("audio-x-generic", "audio");
        case MediaBrowserModel::Kind::Card:
            return themed("x-office-address-book", "card");
        case MediaBrowserModel::Kind::Location:
            return themed("mark-location", "location");
        case MediaBrowserModel::Kind::Document:
            break;
    }
    return documentIcon(fileName);
}

QIcon MediaIcons::contact() {
    return QIcon(QStringLiteral(":/icons/media/contact.svg"));
}

QIcon MediaIcons::play() {
    return themed("media-playback-start", "play");
}

QIcon MediaIcons::pause() {
    return themed("media-playback-pause", "pause");
}

}  // namespace vessamo::gui
