#include "common/ScratchFolder.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "common/Files.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

std::string temporaryRoot() {
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && *tmp != '\0') {
        return tmp;
    }
    return "/tmp";
}

// Scratch folders hold plaintext copies of a person's data. One whose owner
// is still alive when the process ends normally (held by a view or a queued
// task that never ran) is removed at exit all the same, by the process that
// made it only: a forked child that exits leaves its parent's folders alone.
class LiveScratchFolders {
public:
    static LiveScratchFolders& instance() {
        static LiveScratchFolders* folders = [] {
            auto* made = new LiveScratchFolders;  // outlives every static destructor
            std::atexit([] { instance().removeAll(); });
            return made;
        }();
        return *folders;
    }
    void add(const std::string& path) {
        const std::lock_guard lock(mutex_);
        paths_[path] = ::getpid();
    }
    void forget(const std::string& path) {
        const std::lock_guard lock(mutex_);
        paths_.erase(path);
    }

    void removeAll() {
        const std::lock_guard lock(mutex_);
        for (const auto& [path, maker] : paths_) {
            if (maker == ::getpid()) {
                std::error_code ignored;
                fs::remove_all(path, ignored);
            }
        }
        paths_.clear();
    }

private:
    std::mutex mutex_;
    std::map<std::string, pid_t> paths_;
};

}  // namespace

std::optional<ScratchFolder> ScratchFolder::create(std::string_view prefix) {
    std::string templ = temporaryRoot() + "/" + safeFileName(prefix) + "-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        return std::nullopt;
    }
    LiveScratchFolders::instance().add(buffer.data());
    return ScratchFolder(std::string(buffer.data()));
}

ScratchFolder::~ScratchFolder() {
    remove();
}

ScratchFolder::ScratchFolder(ScratchFolder&& other) noexcept
    : path_(std::exchange(other.path_, std::string())), counter_(other.counter_) {}

ScratchFolder& ScratchFolder::operator=(ScratchFolder&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::exchange(other.path_, std::string());
        counter_ = other.counter_;
    }
    return *this;
}

std::string ScratchFolder::uniquePath(std::string_view fileName) {
    ++counter_;
    return path_ + "/" + std::to_string(counter_) + "-" + safeFileName(fileName);
}

void ScratchFolder::removeAllNow() {
    LiveScratchFolders::instance().removeAll();
}

void ScratchFolder::remove() {
    if (!path_.empty()) {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        LiveScratchFolders::instance().forget(path_);
        path_.clear();
    }
}

}  // namespace vessamo
