#include "app/LoginItem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "common/Files.h"

namespace vessamo {

namespace {

constexpr const char* kEntryName = "vessamo.desktop";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// One argument of an Exec key: always quoted, with the characters the
// quoting reserves escaped, then the backslashes escaped once more for the
// string value the whole key is. "%" would start a field code.
std::string execArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$') {
            quoted += "\\";
            quoted += c;
        } else if (c == '\\') {
            quoted += "\\\\\\\\";
        } else if (c == '%') {
            quoted += "%%";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

bool hasControlCharacter(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

}  // namespace

LoginItem::LoginItem(std::string folder, std::string executable)
    : folder_(std::move(folder)), executable_(std::move(executable)) {}

std::string LoginItem::defaultFolder() {
    if (const std::string home = environment("VESSAMO_HOME"); !home.empty()) {
        return home + "/.config/autostart";
    }
    // A relative XDG_CONFIG_HOME does not count, as the XDG base directory rules say.
    if (const std::string config = environment("XDG_CONFIG_HOME");
        !config.empty() && config.front() == '/') {
        return config + "/autostart";
    }
    return environment("HOME") + "/.config/autostart";
}

std::string LoginItem::entryPath() const {
    return folder_ + "/" + kEntryName;
}

Status LoginItem::addAppAsLoginItem() const {
    if (executable_.empty() || hasControlCharacter(executable_)) {
        return Status::invalid("the program's path cannot be written into a login item: " +
                               executable_);
    }
    if (Status made = makeFolders(folder_); !made.ok()) {
        return made;
    }
    std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Vessamo\n"
        "Exec=" +
        execArgument(executable_) +
        "\n"
        "X-GNOME-Autostart-enabled=true\n"
        "Hidden=false\n";
    return writeFileAtomically(entryPath(), entry);
}

// Only our own entry goes; a link there is removed itself, whatever it
// points at.
Status LoginItem::deleteAppFromLoginItem() const {
    const std::string path = entryPath();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? Status::success() : Status::fromErrno("cannot examine " + path);
    }
    if (S_ISDIR(info.st_mode)) {
        return Status::invalid(path + " is a folder, not a login item");
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return Status::fromErrno("cannot remove " + path);
    }
    return Status::success();
}

bool LoginItem::isLoginItem() const {
    const std::string path = entryPath();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    StatusOr<std::string> bytes = readWholeFile(path, 64 * 1024);
    if (!bytes.ok()) {
        return false;
    }
    const std::string expected = "Exec=" + execArgument(executable_);
    bool startsUs = false;
    bool hidden = false;
    std::istringstream lines(bytes.value());
    for (std::string line; std::getline(lines, line);) {
        startsUs = startsUs || line == expected;
        hidden = hidden || line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false";
    }
    return startsUs && !hidden;
}

}  // namespace vessamo
