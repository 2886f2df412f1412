#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vessamo {

// A database file as the carver sees it: a fixed run of bytes that can be
// read anywhere, where everything past the end reads as zero. Carving walks
// free pages and cell remnants whose offsets come from the file itself, so
// a read must never fail or run out of bounds, whatever it asks for.
//
// Reads from disk go through a small window cache, which makes a const
// object unsafe to share between threads; give each thread its own.
class CarvingFile {
public:
    // Read-only handle on a file on disk; null when it cannot be opened or
    // is not a regular file.
    [[nodiscard]] static std::unique_ptr<CarvingFile> open(const std::string& path);

    // The same view over bytes already in memory (tests, fuzzing, copies).
    explicit CarvingFile(std::vector<uint8_t> bytes);

    ~CarvingFile();
    CarvingFile(CarvingFile&& other) noexcept;
    CarvingFile& operator=(CarvingFile&& other) noexcept;
    CarvingFile(const CarvingFile&) = delete;
    CarvingFile& operator=(const CarvingFile&) = delete;

    // The size taken when the file was opened; later growth is not seen.
    [[nodiscard]] uint64_t size() const { return size_; }

    // Copies n bytes starting at offset into out. Bytes past the end, and
    // bytes the system refuses to deliver, read as zero.
    void readAt(uint64_t offset, uint8_t* out, size_t n) const;

private:
    CarvingFile(int fd, uint64_t size);
    void closeHandle();
    // Fills out from the file itself; returns how many bytes arrived.
    size_t readFromDisk(uint64_t offset, uint8_t* out, size_t n) const;
    void loadWindow(uint64_t windowStart) const;

    int fd_ = -1;
    uint64_t size_ = 0;
    std::vector<uint8_t> memory_;  // the whole content when not backed by a file

    // Carving reads a page's worth of small fields in a row; one aligned
    // window turns those into a single system call.
    static constexpr uint64_t kWindowSize = 64 * 1024;
    mutable std::vector<uint8_t> window_;
    mutable uint64_t windowStart_ = 0;
    mutable bool windowValid_ = false;
};

}  // namespace vessamo
