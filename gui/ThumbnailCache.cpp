#include "ThumbnailCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QMetaObject>
#include <filesystem>
#include <system_error>

#include "VideoPoster.h"

namespace vessamo::gui {

namespace {

namespace fs = std::filesystem;

// Pictures in a backup are rarely large; anything bigger is not worth a
// thumbnail's memory and time.
constexpr qint64 kLargestFileBytes = 64LL * 1024 * 1024;

// True when the file's real place, links on the way resolved, lies in the
// real source folder.
bool liesInside(const QString& file, const QString& root) {
    std::error_code error;
    const fs::path realRoot = fs::canonical(fs::path(root.toStdString()), error);
    if (error || root.isEmpty()) {
        return false;
    }
    const fs::path realFile = fs::canonical(fs::path(file.toStdString()), error);
    if (error) {
        return false;
    }
    auto fileParts = realFile.begin();
    for (auto rootPart = realRoot.begin(); rootPart != realRoot.end(); ++rootPart, ++fileParts) {
        if (fileParts == realFile.end() || *fileParts != *rootPart) {
            return false;
        }
    }
    return true;
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
    if (!liesInside(file, sourceRoot)) {
        return nullptr;
    }
    // O_NOFOLLOW and the check of the opened file: a link put in place
    // after the check above is refused as well.
    const int fd = ::open(QFile::encodeName(file).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestBytes) {
        ::close(fd);
        return nullptr;
    }
    auto device = std::make_unique<QFile>();
    if (!device->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return device;
}

QImage ThumbnailCache::load(const QString& file, const QString& sourceRoot, QSize largest) {
    const std::unique_ptr<QFile> device = openInside(file, sourceRoot, kLargestFileBytes);
    if (device == nullptr) {
        return {};
    }
    QImageReader reader(device.get());
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
