#include "common/UserPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace vessamo {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string passwordEntryHome() {
    const passwd* entry = getpwuid(getuid());
    return (entry != nullptr && entry->pw_dir != nullptr) ? std::string(entry->pw_dir) : "/";
}

#ifdef __APPLE__
std::string loginName() {
    const passwd* entry = getpwuid(getuid());
    if (entry != nullptr && entry->pw_name != nullptr) {
        return entry->pw_name;
    }
    std::string user = environment("USER");
    return user.empty() ? "user" : user;
}
#endif

}  // namespace

std::string UserPaths::userFolder() {
    std::string home = environment("VESSAMO_HOME");
    if (!home.empty()) {
        return home;
    }
#ifdef __APPLE__
    return "/Users/" + loginName();
#else
    home = environment("HOME");
    return home.empty() ? passwordEntryHome() : home;
#endif
}

std::string UserPaths::backupRoot() {
    return userFolder() + "/Library/Application Support/MobileSync/Backup";
}

std::string UserPaths::timelineFolder() {
    return userFolder() + "/Library/Application Support/Vessamo";
}

std::string UserPaths::libraryFolder() {
    return userFolder() + "/Library";
}

}  // namespace vessamo
