#include "common/ConfinedFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <vector>

#if defined(__linux__) && __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#define VESSAMO_HAVE_OPENAT2 1
#endif

namespace vessamo {

namespace {

// -1 not yet known, 0 the kernel lacks openat2 (or a sandbox forbids it), 1 it has it.
std::atomic<int> kernelHasOpenat2{-1};
std::atomic<bool> openat2Allowed{true};

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

std::vector<std::string_view> stepsOf(std::string_view relative) {
    std::vector<std::string_view> steps;
    while (!relative.empty()) {
        const size_t slash = relative.find('/');
        const std::string_view step = relative.substr(0, slash);
        if (!step.empty()) {
            steps.push_back(step);
        }
        if (slash == std::string_view::npos) {
            break;
        }
        relative.remove_prefix(slash + 1);
    }
    return steps;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string rootOf(const PathWithin& file) {
    if (!file.root.empty()) {
        return withoutTrailingSlashes(file.root);
    }
    const size_t slash = file.path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : file.path.substr(0, slash);
}

Status refused(std::string_view shownPath) {
    return Status::invalid("skipped: " + std::string(kNotRegularInside) + ": " +
                           std::string(shownPath));
}

// What an errno of a confined open means to the caller.
Status openFailure(int error, std::string_view shownPath) {
    switch (error) {
        case ELOOP:
        case EXDEV:
        case ENOTDIR:
        case ENXIO:
            return refused(shownPath);
        case ENOENT:
            return Status::notFound(std::string(shownPath) + " is missing");
        default:
            errno = error;
            return Status::fromErrno("cannot open " + std::string(shownPath));
    }
}

#ifdef VESSAMO_HAVE_OPENAT2
int openat2Beneath(int folderFd, const std::string& relative, int flags) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, folderFd, relative.c_str(), &how, sizeof how));
}
#endif

// Opens through openat2; -1 with errno ENOSYS when it cannot be used here.
int openWithKernelConfinement(int folderFd, const std::string& relative, int flags) {
#ifdef VESSAMO_HAVE_OPENAT2
    if (openat2Allowed.load() && kernelHasOpenat2.load() != 0) {
        const int fd = openat2Beneath(folderFd, relative, flags);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG)) {
            kernelHasOpenat2.store(1);
            return fd;
        }
        // Old kernels say ENOSYS; container sandboxes often say EPERM.
        kernelHasOpenat2.store(0);
    }
#else
    (void)folderFd;
    (void)relative;
    (void)flags;
#endif
    errno = ENOSYS;
    return -1;
}

// One step at a time, none of them through a link.
int openStepByStep(int folderFd, std::string_view relative, int flags) {
    const std::vector<std::string_view> steps = stepsOf(relative);
    if (steps.empty()) {
        errno = ENOENT;
        return -1;
    }
    UniqueFd current;
    int at = folderFd;
    for (size_t i = 0; i + 1 < steps.size(); ++i) {
        const std::string step(steps[i]);
        UniqueFd next(::openat(at, step.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            return -1;
        }
        current = std::move(next);
        at = current.get();
    }
    return ::openat(at, std::string(steps.back()).c_str(), flags);
}

}  // namespace

bool isPlainRelativePath(std::string_view relative) {
    if (relative.empty() || relative.front() == '/' ||
        relative.find('\0') != std::string_view::npos) {
        return false;
    }
    for (const std::string_view step : stepsOf(relative)) {
        if (step == "." || step == "..") {
            return false;
        }
    }
    return true;
}

StatusOr<std::string> relativeInside(const PathWithin& file) {
    const std::string root = rootOf(file);
    if (file.path == root) {
        return std::string();
    }
    std::string prefix = root;
    if (prefix != "/") {
        prefix.push_back('/');
    }
    if (file.path.compare(0, prefix.size(), prefix) != 0) {
        return refused(file.path);
    }
    std::string relative = file.path.substr(prefix.size());
    while (!relative.empty() && relative.front() == '/') {
        relative.erase(0, 1);
    }
    if (!relative.empty() && !isPlainRelativePath(relative)) {
        return refused(file.path);
    }
    return relative;
}

StatusOr<UniqueFd> openFileBeneath(int folderFd, std::string_view relative,
                                   std::string_view shownPath) {
    if (!isPlainRelativePath(relative)) {
        return refused(shownPath);
    }
    const std::string path(relative);
    int fd = openWithKernelConfinement(folderFd, path, kReadFlags);
    if (fd < 0 && errno == ENOSYS) {
        fd = openStepByStep(folderFd, path, kReadFlags);
    }
    if (fd < 0) {
        return openFailure(errno, shownPath);
    }
    UniqueFd file(fd);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return Status::fromErrno("cannot examine " + std::string(shownPath));
    }
    if (!S_ISREG(info.st_mode)) {
        return refused(shownPath);
    }
    return file;
}

StatusOr<UniqueFd> openSourceFile(const PathWithin& file) {
    StatusOr<std::string> relative = relativeInside(file);
    if (!relative.ok()) {
        return relative.status();
    }
    if (relative->empty()) {
        return refused(file.path);
    }
    const std::string root = rootOf(file);
    const UniqueFd folder(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        return openFailure(errno == ENOTDIR ? ENOENT : errno, file.path);
    }
    return openFileBeneath(folder.get(), *relative, file.path);
}

bool isSourceFile(const PathWithin& file) {
    return openSourceFile(file).ok();
}

StatusOr<UniqueFd> openFolderWithin(const PathWithin& folder, bool create) {
    const std::string root = rootOf(folder);
    StatusOr<std::string> relative = relativeInside(folder);
    if (!relative.ok()) {
        return Status::invalid(folder.path + " lies outside " + root);
    }
    if (create) {
        std::error_code ignored;
        std::filesystem::create_directories(root, ignored);  // the open below says what failed
    }
    UniqueFd current(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!current.valid()) {
        return Status::fromErrno("cannot open the folder " + root);
    }
    std::string reached = root;
    for (const std::string_view step : stepsOf(*relative)) {
        reached.append("/").append(step);
        const std::string name(step);
        if (create && ::mkdirat(current.get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
            return Status::fromErrno("cannot create the folder " + reached);
        }
        UniqueFd next(
            ::openat(current.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            if (errno == ELOOP || errno == ENOTDIR) {
                return Status::invalid(reached +
                                       " is a link or not a folder: nothing is written through it");
            }
            return Status::fromErrno("cannot open the folder " + reached);
        }
        current = std::move(next);
    }
    return current;
}

bool kernelConfinesLookups() {
#ifdef VESSAMO_HAVE_OPENAT2
    if (kernelHasOpenat2.load() < 0) {
        const int fd = openWithKernelConfinement(AT_FDCWD, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return openat2Allowed.load() && kernelHasOpenat2.load() == 1;
#else
    return false;
#endif
}

void allowKernelConfinement(bool allowed) {
    openat2Allowed.store(allowed);
}

}  // namespace vessamo
