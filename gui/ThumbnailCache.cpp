#include "ThumbnailCache.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QMetaObject>

#include "VideoPoster.h"
#include "common/ConfinedFiles.h"
#include "common/Files.h"

namespace vessamo::gui {

namespace {

// Pictures in a backup are rarely large; anything bigger is not worth a
// thumbnail's memory and time.
constexpr qint64 kLargestFileBytes = 64LL * 1024 * 1024;

PathWithin within(const QString& file, const QString& sourceRoot) {
    return PathWithin{sourceRoot.toStdString(), file.toStdString()};
}

}  // namespace

ThumbnailCache::ThumbnailCache(QSize largest, int capacity, QObject* parent)
    : QObject(parent), largest_(largest), images_(capacity) {
    pool_.setMaxThreadCount(2);
}

ThumbnailCache::~ThumbnailCache() {
    pool_.clear();
    pool_.waitForDone();
}

QImage ThumbnailCache::thumbnail(const QString& file, const QString& sourceRoot) {
    if (const QImage* image = images_.object(file)) {
        return *image;
    }
    if (file.isEmpty() || pending_.contains(file) || failed_.contains(file)) {
        return {};
    }
    pending_.insert(file);
    pool_.start([this, file, sourceRoot, largest = largest_] {
        const QImage image = load(file, sourceRoot, largest);
        // Queued to the cache's thread; a cache that went meanwhile drained
        // this pool first, so `this` is still there.
        QMetaObject::invokeMethod(
            this, [this, file, image] { finished(file, image); }, Qt::QueuedConnection);
    });
    return {};
}

void ThumbnailCache::cancelPending() {
    pool_.clear();
    if (posters_ != nullptr) {
        posters_->cancelPending();
    }
    // Work already running still reports; only the queued is forgotten.
    pending_.clear();
}

void ThumbnailCache::finished(const QString& file, const QImage& image) {
    pending_.remove(file);
    if (image.isNull()) {
        failed_.insert(file);
        return;
    }
    images_.insert(file, new QImage(image));
    emit thumbnailReady(file);
}

std::unique_ptr<QFile> ThumbnailCache::openInside(const QString& file, const QString& sourceRoot,
                                                  qint64 largestBytes) {
    if (file.isEmpty() || sourceRoot.isEmpty()) {
        return nullptr;
    }
    StatusOr<UniqueFd> opened = openSourceFile(within(file, sourceRoot));
    struct stat info {};
    if (!opened.ok() || ::fstat(opened->get(), &info) != 0 || info.st_size > largestBytes) {
        return nullptr;
    }
    auto device = std::make_unique<QFile>();
    if (!device->open(opened->get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        return nullptr;
    }
    (void)opened->release();  // the device closes it from here on
    return device;
}

QImage ThumbnailCache::load(const QString& file, const QString& sourceRoot, QSize largest) {
    if (file.isEmpty() || sourceRoot.isEmpty()) {
        return {};
    }
    const StatusOr<std::string> bytes = readWholeFile(within(file, sourceRoot), kLargestFileBytes);
    if (!bytes.ok()) {
        return {};
    }
    QByteArray data = QByteArray::fromRawData(bytes->data(), static_cast<qsizetype>(bytes->size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > largest.width() || size.height() > largest.height())) {
        reader.setScaledSize(size.scaled(largest, Qt::KeepAspectRatio));
    }
    return reader.read();
}

QImage ThumbnailCache::poster(const QString& film, const QString& sourceRoot) {
    if (const QImage* image = images_.object(film)) {
        return *image;
    }
    if (film.isEmpty() || pending_.contains(film) || failed_.contains(film)) {
        return {};
    }
    if (posters_ == nullptr) {
        posters_ = new VideoPoster(largest_, this);
        connect(posters_, &VideoPoster::posterReady, this, &ThumbnailCache::finished);
    }
    pending_.insert(film);
    posters_->request(film, sourceRoot);
    return {};
}

}  // namespace vessamo::gui
