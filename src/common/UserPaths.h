#pragma once

#include <string>

namespace vessamo {

// The user folder every per-user path is built on. $VESSAMO_HOME wins, so
// tests and scripts can point the whole program at a folder of their own;
// otherwise "/Users/<login>" on macOS and $HOME elsewhere.
class UserPaths {
public:
    [[nodiscard]] static std::string userFolder();
    // userFolder() + "/Library/Application Support/MobileSync/Backup"
    [[nodiscard]] static std::string backupRoot();
    // userFolder() + "/Library/Application Support/Vessamo": where Timeline
    // backups live unless the preferences name another folder.
    [[nodiscard]] static std::string timelineFolder();
    // userFolder() + "/Library"
    [[nodiscard]] static std::string libraryFolder();
};

}  // namespace vessamo
