#include "whatsapp/MediaArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <vector>

#include "common/ChildProcess.h"
#include "common/Files.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kTarBlock = 512;
// How often a running tar's output is measured, at most.
constexpr auto kMeasureEvery = std::chrono::milliseconds(50);

// The octal checksum field of a tar header: the sum of its bytes, the
// field itself counted as blanks.
bool hasTarChecksum(std::span<const uint8_t> block) {
    if (block.size() < kTarBlock) {
        return false;
    }
    unsigned stored = 0;
    bool digits = false;
    for (size_t i = 148; i < 156; ++i) {
        const uint8_t c = block[i];
        if (c >= '0' && c <= '7') {
            stored = stored * 8 + (c - '0');
            digits = true;
        } else if (c != ' ' && c != 0) {
            return false;
        } else if (digits) {
            break;
        }
    }
    unsigned sum = 0;
    for (size_t i = 0; i < kTarBlock; ++i) {
        sum += (i >= 148 && i < 156) ? ' ' : block[i];
    }
    return digits && sum == stored;
}

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    [[nodiscard]] int fd() const { return fd_; }

private:
    int fd_;
};

std::string tarProgram() {
    if (::access("/usr/bin/tar", X_OK) == 0) {
        return "/usr/bin/tar";
    }
    return ChildProcess::findOnPath("tar").value_or("/usr/bin/tar");
}

// A relative path starting with "-" would read as an option.
std::string asArgument(const std::string& path) {
    return !path.empty() && path.front() == '/' ? path : "./" + path;
}

std::string megabytes(uint64_t bytes) {
    return std::to_string((bytes + (uint64_t{1} << 20) - 1) >> 20) + " MB";
}

// tar's first complaint, for the person: one line, without the program's name.
std::string firstComplaint(const std::string& output) {
    std::string line = output.substr(0, output.find('\n'));
    for (const char* prefix : {"/usr/bin/tar: ", "tar: "}) {
        if (line.rfind(prefix, 0) == 0) {
            line.erase(0, std::string_view(prefix).size());
        }
    }
    return line.empty() ? "tar reported an error" : line;
}

// Watches a running tar: the stop button, the archive's share of the disk
// and the disk's free space (where the system tells it). The file system's count is cheap and read
// often; only when it says the bound may be passed are the staged files
// measured, so other programs writing at the same time stop nothing.
class UnpackWatch {
public:
    enum class Verdict { going, stopped, tooLarge, diskFull };

    UnpackWatch(const std::string& staging, const UnpackBounds& bounds)
        : staging_(staging), bounds_(bounds), freeAtStart_(freeBytesAt(staging)) {}

    bool keepGoing() {
        if (bounds_.stop.stop_requested()) {
            verdict_ = Verdict::stopped;
            return false;
        }
        const Clock::time_point now = Clock::now();
        if (freeAtStart_ == 0 || now - measured_ < kMeasureEvery) {
            return true;
        }
        measured_ = now;
        const uint64_t free = freeBytesAt(staging_);
        if (free < kUnpackFreeMargin) {
            verdict_ = Verdict::diskFull;
        } else if (freeAtStart_ - std::min(free, freeAtStart_) > bounds_.maxBytes &&
                   bytesBelow(staging_) > bounds_.maxBytes) {
            verdict_ = Verdict::tooLarge;
        }
        return verdict_ == Verdict::going;
    }
    [[nodiscard]] Verdict verdict() const { return verdict_; }

private:
    const std::string& staging_;
    const UnpackBounds& bounds_;
    uint64_t freeAtStart_;
    Clock::time_point measured_{};
    Verdict verdict_ = Verdict::going;
};

// A file tar was still writing when the archive broke off has the time of
// that write; a finished one has the time the archive gave it. So after a
// failed run, files written since the run began are taken as cut short.
void dropUnfinished(const std::string& staging, fs::file_time_type since) {
    std::error_code ec;
    std::vector<fs::path> unfinished;
    fs::recursive_directory_iterator walk(staging, fs::directory_options::skip_permission_denied,
                                          ec);
    for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
        std::error_code step;
        if (fs::is_regular_file(walk->symlink_status(step)) &&
            walk->last_write_time(step) >= since && !step) {
            unfinished.push_back(walk->path());
        }
    }
    for (const fs::path& path : unfinished) {
        fs::remove(path, ec);
    }
}

UnpackReport refused(const std::string& name, std::string why) {
    return {Status::corrupt(name + " was not unpacked: " + std::move(why)), false};
}

UnpackReport judge(const std::string& name, const ChildProcess::Result& run,
                   const UnpackWatch& watch, const UnpackBounds& bounds, const std::string& staging,
                   fs::file_time_type started) {
    const std::string limit = "the " + megabytes(bounds.maxBytes) + " a scan may unpack";
    switch (watch.verdict()) {
        case UnpackWatch::Verdict::stopped:
            return {Status::cancelled(name + ": unpacking stopped"), false};
        case UnpackWatch::Verdict::tooLarge:
            return refused(name, "its files grow past " + limit);
        case UnpackWatch::Verdict::diskFull:
            return refused(name, "the disk is close to full");
        case UnpackWatch::Verdict::going:
            break;
    }
    if (!run.started || run.timedOut || (!run.exitStatus && run.signal)) {
        return refused(name, "tar " + run.describeFailure());
    }
    // tar may finish faster than it is watched, and sparse files take
    // little disk: what was written is measured once more, whole.
    if (const uint64_t written = bytesBelow(staging); written > bounds.maxBytes) {
        return refused(name, "its files add up to " + megabytes(written) + ", more than " + limit);
    }
    if (!run.succeeded()) {
        dropUnfinished(staging, started);
        return {Status::corrupt(name + " is damaged: " + firstComplaint(run.output) +
                                "; the members that could be read were kept"),
                true};
    }
    return {Status(), true};
}

}  // namespace

ArchiveFormat archiveFormatOf(std::span<const uint8_t> head) {
    if (head.size() >= 2 && head[0] == 0x1F && head[1] == 0x8B) {
        return ArchiveFormat::gzipTar;
    }
    constexpr std::array<uint8_t, 5> ustar = {'u', 's', 't', 'a', 'r'};
    if (head.size() >= kTarBlock &&
        (std::equal(ustar.begin(), ustar.end(), head.begin() + 257) || hasTarChecksum(head))) {
        return ArchiveFormat::plainTar;
    }
    return ArchiveFormat::unknown;
}

ArchiveFormat archiveFormatOfFile(const std::string& path) {
    const ReadOnlyFile file(path);
    struct stat status {};
    if (file.fd() < 0 || ::fstat(file.fd(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return ArchiveFormat::unknown;
    }
    std::array<uint8_t, kTarBlock> head{};
    size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(file.fd(), head.data() + got, head.size() - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return archiveFormatOf(std::span<const uint8_t>(head.data(), got));
}

UnpackReport unpackArchive(const std::string& archive, const std::string& staging,
                           const UnpackBounds& bounds) {
    const std::string name(lastComponent(archive));
    const ArchiveFormat format = archiveFormatOfFile(archive);
    if (format == ArchiveFormat::unknown) {
        return {Status::corrupt(name + " is damaged: it is neither a gzip nor a tar archive"),
                false};
    }
    // GNU tar and bsdtar both refuse ".." members, strip a leading "/" and
    // keep links from being written through; owners and modes of the
    // archive are not taken over.
    std::vector<std::string> arguments = {"-x",
                                          "-f",
                                          asArgument(archive),
                                          "-C",
                                          asArgument(staging),
                                          "--no-same-owner",
                                          "--no-same-permissions"};
    if (format == ArchiveFormat::gzipTar) {
        arguments.insert(arguments.begin() + 1, "-z");
    }
    UnpackWatch watch(staging, bounds);
    // A second's slack for file systems that keep coarse times.
    const fs::file_time_type started = fs::file_time_type::clock::now() - std::chrono::seconds(1);
    ChildProcess tar(tarProgram(), arguments, ChildProcess::Output::capture);
    const ChildProcess::Result run =
        tar.wait(bounds.timeout, [&watch] { return watch.keepGoing(); });
    return judge(name, run, watch, bounds, staging, started);
}

uint64_t bytesBelow(const std::string& folder) {
    uint64_t total = 0;
    std::error_code ec;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          ec);
    for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
        std::error_code step;
        if (fs::is_regular_file(walk->symlink_status(step))) {
            const uintmax_t size = walk->file_size(step);
            total += step ? 0 : size;
        }
    }
    return total;
}

uint64_t freeBytesAt(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace vessamo
