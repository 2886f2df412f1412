#include "common/ScratchFolder.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace

std::optional<ScratchFolder> ScratchFolder::create(std::string_view prefix) {
    std::string templ = temporaryRoot() + "/" + safeFileName(prefix) + "-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        return std::nullopt;
    }
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

void ScratchFolder::remove() {
    if (!path_.empty()) {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        path_.clear();
    }
}

}  // namespace vessamo
