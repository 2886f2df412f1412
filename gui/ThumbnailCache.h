#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <memory>

class QFile;

namespace vessamo::gui {

class VideoPoster;

// Small pictures of a conversation's media, decoded away from the interface
// thread and kept for the most recently used files. The files come from an
// untrusted backup, so only a regular file that really lies inside the
// source folder it is asked for is ever opened: no link is followed, not
// even one on the way to it.
class ThumbnailCache : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultCapacity = 300;

    explicit ThumbnailCache(QSize largest = QSize(480, 480), int capacity = kDefaultCapacity,
                            QObject* parent = nullptr);
    ~ThumbnailCache() override;
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    // The picture of the file when it is ready; otherwise a null image and,
    // the first time, the file is queued for decoding (thumbnailReady tells
    // when it is there). A file that cannot be shown stays null for good.
    [[nodiscard]] QImage thumbnail(const QString& file, const QString& sourceRoot);
    // The same for a film without a stored still: its first frame, taken by
    // the media framework; thumbnailReady(film) tells when it is there.
    [[nodiscard]] QImage poster(const QString& film, const QString& sourceRoot);
    [[nodiscard]] bool contains(const QString& file) const { return images_.contains(file); }
    [[nodiscard]] bool failed(const QString& file) const { return failed_.contains(file); }
    // Forgets queued work (another conversation was opened); what is
    // decoded stays.
    void cancelPending();

    // The decoding itself, on any thread: a null image for anything that is
    // not a readable picture inside sourceRoot.
    [[nodiscard]] static QImage load(const QString& file, const QString& sourceRoot, QSize largest);
    // The file opened for reading when it is a regular file of at most
    // largestBytes inside sourceRoot, reached without a link; else nullptr.
    [[nodiscard]] static std::unique_ptr<QFile> openInside(const QString& file,
                                                           const QString& sourceRoot,
                                                           qint64 largestBytes);

signals:
    void thumbnailReady(const QString& file);

private:
    void finished(const QString& file, const QImage& image);

    QSize largest_;
    QCache<QString, QImage> images_;
    QSet<QString> pending_;
    QSet<QString> failed_;
    VideoPoster* posters_ = nullptr;  // made when the first film asks
    QThreadPool pool_;                // last: drained before the rest goes
};

}  // namespace vessamo::gui
