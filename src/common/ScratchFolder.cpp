#include "common/ScratchFolder.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

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

// Keeps a name a single harmless path component.
std::string safeComponent(std::string_view name) {
    std::string out;
    for (char c : name) {
        out += (c == '/' || c == '\0') ? '_' : c;
    }
    if (out.empty() || out == "." || out == "..") {
        out = "file";
    }
    if (out.size() > 100) {
        out.resize(100);
    }
    return out;
}

}  // namespace

std::optional<ScratchFolder> ScratchFolder::create(std::string_view prefix) {
    std::string templ = temporaryRoot() + "/" + safeComponent(prefix) + "-XXXXXX";
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
    return path_ + "/" + std::to_string(counter_) + "-" + safeComponent(fileName);
}

void ScratchFolder::remove() {
    if (!path_.empty()) {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        path_.clear();
    }
}

}  // namespace vessamo
