#include "carving/CarvingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace vessamo {

static_assert(sizeof(off_t) >= 8, "database files beyond 2 GiB need 64-bit offsets");

std::unique_ptr<CarvingFile> CarvingFile::open(const std::string& path) {
    // No link is followed, and a pipe in a file's place must not block the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<CarvingFile>(new CarvingFile(fd, static_cast<uint64_t>(info.st_size)));
}

CarvingFile::CarvingFile(std::vector<uint8_t> bytes)
    : size_(bytes.size()), memory_(std::move(bytes)) {}

CarvingFile::CarvingFile(int fd, uint64_t size) : fd_(fd), size_(size), window_(kWindowSize) {}

CarvingFile::~CarvingFile() {
    closeHandle();
}

CarvingFile::CarvingFile(CarvingFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(std::exchange(other.size_, 0)),
      memory_(std::move(other.memory_)),
      window_(std::move(other.window_)),
      windowStart_(other.windowStart_),
      windowValid_(std::exchange(other.windowValid_, false)) {}

CarvingFile& CarvingFile::operator=(CarvingFile&& other) noexcept {
    if (this != &other) {
        closeHandle();
        fd_ = std::exchange(other.fd_, -1);
        size_ = std::exchange(other.size_, 0);
        memory_ = std::move(other.memory_);
        window_ = std::move(other.window_);
        windowStart_ = other.windowStart_;
        windowValid_ = std::exchange(other.windowValid_, false);
    }
    return *this;
}

void CarvingFile::closeHandle() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void CarvingFile::readAt(uint64_t offset, uint8_t* out, size_t n) const {
    if (out == nullptr || n == 0) {
        return;
    }
    // Written so that offset + n is never formed: offsets come from the file.
    const size_t available =
        offset >= size_ ? 0 : static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    std::memset(out + available, 0, n - available);
    if (available == 0) {
        return;
    }
    if (fd_ < 0) {
        std::memcpy(out, memory_.data() + offset, available);
        return;
    }
    const uint64_t start = offset - offset % kWindowSize;
    if (offset - start + available <= kWindowSize) {
        loadWindow(start);
        std::memcpy(out, window_.data() + (offset - start), available);
        return;
    }
    const size_t got = readFromDisk(offset, out, available);
    std::memset(out + got, 0, available - got);
}

void CarvingFile::loadWindow(uint64_t windowStart) const {
    if (windowValid_ && windowStart_ == windowStart) {
        return;
    }
    const auto wanted = static_cast<size_t>(std::min<uint64_t>(kWindowSize, size_ - windowStart));
    const size_t got = readFromDisk(windowStart, window_.data(), wanted);
    std::fill(window_.begin() + static_cast<std::ptrdiff_t>(got), window_.end(), uint8_t{0});
    windowStart_ = windowStart;
    windowValid_ = got == wanted;  // a short read is retried next time rather than remembered
}

size_t CarvingFile::readFromDisk(uint64_t offset, uint8_t* out, size_t n) const {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // shrunk underneath us or an I/O error: the rest reads as zero
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

}  // namespace vessamo
