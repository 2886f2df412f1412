#include "VideoPoster.h"

#include <QFile>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

#include "ThumbnailCache.h"

namespace vessamo::gui {

namespace {

// Films are streamed, never read whole: any size a phone records is fine.
constexpr qint64 kLargestFilmBytes = 16LL * 1024 * 1024 * 1024;

}  // namespace

VideoPoster::VideoPoster(QSize largest, QObject* parent)
    : QObject(parent), largest_(largest), patience_(new QTimer(this)) {
    patience_->setSingleShot(true);
    patience_->setInterval(kPatienceMs);
    connect(patience_, &QTimer::timeout, this, [this] { finish({}); });
}

VideoPoster::~VideoPoster() {
    if (player_ != nullptr) {
        player_->stop();
    }
}

void VideoPoster::request(const QString& film, const QString& sourceRoot) {
    queue_.append({film, sourceRoot});
    if (current_.isEmpty()) {
        startNext();
    }
}

void VideoPoster::startNext() {
    if (!current_.isEmpty()) {
        return;  // one film at a time
    }
    while (!queue_.isEmpty()) {
        const auto [film, root] = queue_.takeFirst();
        std::unique_ptr<QFile> device = ThumbnailCache::openInside(film, root, kLargestFilmBytes);
        if (device == nullptr) {
            emit posterReady(film, {});
            continue;
        }
        if (player_ == nullptr) {
            player_ = new QMediaPlayer(this);
            sink_ = new QVideoSink(this);
            player_->setVideoSink(sink_);  // no audio output: the film stays silent
            connect(sink_, &QVideoSink::videoFrameChanged, this, &VideoPoster::frameArrived);
            connect(player_, &QMediaPlayer::errorOccurred, this, [this] { finish({}); });
            connect(player_, &QMediaPlayer::mediaStatusChanged, this,
                    [this](QMediaPlayer::MediaStatus status) {
                        if (status == QMediaPlayer::InvalidMedia ||
                            status == QMediaPlayer::EndOfMedia) {
                            finish({});
                        }
                    });
        }
        current_ = film;
        device_ = device.release();
        device_->setParent(this);
        patience_->start();
        // The opened file, not its path: the player never resolves a link.
        player_->setSourceDevice(device_, QUrl::fromLocalFile(film));
        player_->play();
        return;
    }
}

void VideoPoster::frameArrived(const QVideoFrame& frame) {
    if (current_.isEmpty() || !frame.isValid()) {
        return;
    }
    QImage image = frame.toImage();
    if (image.isNull()) {
        return;
    }
    if (image.width() > largest_.width() || image.height() > largest_.height()) {
        image = image.scaled(largest_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    finish(image.convertToFormat(QImage::Format_RGB32));
}

void VideoPoster::finish(const QImage& image) {
    if (current_.isEmpty()) {
        return;
    }
    patience_->stop();
    const QString film = std::exchange(current_, QString());
    if (player_ != nullptr) {
        player_->stop();
        player_->setSourceDevice(nullptr);
    }
    if (device_ != nullptr) {
        device_->deleteLater();
        device_ = nullptr;
    }
    emit posterReady(film, image);
    // The next film once the player has let this one go.
    QTimer::singleShot(0, this, &VideoPoster::startNext);
}

}  // namespace vessamo::gui
