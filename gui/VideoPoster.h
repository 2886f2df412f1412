#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSize>
#include <QString>

class QFile;
class QMediaPlayer;
class QTimer;
class QVideoFrame;
class QVideoSink;

namespace vessamo::gui {

// The first frame of a film as a still, for a film that came without one.
// The film is decoded by the media framework's own threads, one film at a
// time; this object only receives the frame. Like the thumbnails, only a
// regular file inside the source folder is opened, and no link is followed.
class VideoPoster : public QObject {
    Q_OBJECT

public:
    // How long a film may take to show its first frame before it is given up.
    static constexpr int kPatienceMs = 8000;

    explicit VideoPoster(QSize largest, QObject* parent = nullptr);
    ~VideoPoster() override;

    // Queues the film; posterReady follows once, with a null image when the
    // film has no frame to show.
    void request(const QString& film, const QString& sourceRoot);
    // Forgets the films queued; the one being decoded still reports.
    void cancelPending() { queue_.clear(); }

signals:
    void posterReady(const QString& film, const QImage& image);

private:
    void startNext();
    void frameArrived(const QVideoFrame& frame);
    void finish(const QImage& image);

    QSize largest_;
    QMediaPlayer* player_ = nullptr;  // made on first use
    QVideoSink* sink_ = nullptr;
    QTimer* patience_;
    QFile* device_ = nullptr;  // the film being decoded, opened here
    QString current_;
    QList<QPair<QString, QString>> queue_;  // film, source folder
};

}  // namespace vessamo::gui
