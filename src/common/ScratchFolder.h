#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vessamo {

// A private folder (mode 0700, unpredictable name) under the system's
// temporary folder, removed with everything in it when the object goes away.
// Databases from a source are read from copies kept here, so nothing ever
// writes into the user's backup.
class ScratchFolder {
public:
    [[nodiscard]] static std::optional<ScratchFolder> create(std::string_view prefix = "vessamo");

    ~ScratchFolder();
    ScratchFolder(ScratchFolder&& other) noexcept;
    ScratchFolder& operator=(ScratchFolder&& other) noexcept;
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    // A path inside the folder that no earlier call returned; the file's own
    // name is kept at its end so messages and logs stay readable.
    [[nodiscard]] std::string uniquePath(std::string_view fileName);

    // Removes every scratch folder this process made and still holds, at
    // once: for a program about to end without running destructors (a
    // second Ctrl-C).
    static void removeAllNow();

private:
    explicit ScratchFolder(std::string path) : path_(std::move(path)) {}
    void remove();

    std::string path_;
    unsigned counter_ = 0;
};

}  // namespace vessamo
