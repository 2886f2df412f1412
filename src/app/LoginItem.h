#pragma once

#include <string>

#include "common/Status.h"

namespace vessamo {

// Starts the program when the person logs in, the freedesktop way: an entry
// "vessamo.desktop" in the user's autostart folder.
class LoginItem {
public:
    // folder: where the entry lives; executable: what it starts.
    LoginItem(std::string folder, std::string executable);
    // "$VESSAMO_HOME/.config/autostart" when set (tests and scripts never
    // touch the real one), else "$XDG_CONFIG_HOME/autostart", else
    // "$HOME/.config/autostart".
    [[nodiscard]] static std::string defaultFolder();

    // Writes the entry (replacing an older one); the folder is made when missing.
    [[nodiscard]] Status addAppAsLoginItem() const;
    // Removes the entry; an entry that is not there is no failure.
    [[nodiscard]] Status deleteAppFromLoginItem() const;
    // True when an entry of ours starts this executable.
    [[nodiscard]] bool isLoginItem() const;
    [[nodiscard]] std::string entryPath() const;

private:
    std::string folder_;
    std::string executable_;
};

}  // namespace vessamo
