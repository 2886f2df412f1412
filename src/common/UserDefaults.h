#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace vessamo {

// The user's few lasting choices, kept as a property list. The desktop
// application keeps its own settings; the core, the command line and the
// tests use this store, which a test points at its own file.
class UserDefaults {
public:
    // Stored at path; nothing is read or written when path is empty.
    explicit UserDefaults(std::string path);
    // "<user folder>/.config/vessamo/defaults.plist"
    [[nodiscard]] static std::string defaultPath();

    [[nodiscard]] bool boolForKey(const std::string& key, bool fallback = false) const;
    // Saves at once; false when the file could not be written.
    bool setBool(const std::string& key, bool value);

private:
    void load();

    std::string path_;
    mutable std::mutex mutex_;
    std::map<std::string, bool> values_;
};

}  // namespace vessamo
