#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/Text.h"
#include "results/BackupFileIndex.h"

namespace vessamo {

// Turns a picture path as WhatsApp stores it into the file that holds it,
// or nullopt; the text lives in the scan's store. Each kind of source finds
// its files its own way.
using PictureResolver = std::function<std::optional<Text>(std::string_view stored)>;

// A profile picture through the file index: the stored path (prefixed by the
// media folder unless the database is the shared container's), then with
// ".thumb", then with ".jpg".
[[nodiscard]] std::optional<Text> indexedProfilePicture(const BackupFileIndex& index,
                                                        std::string_view stored,
                                                        bool groupContainer);

// A sender's picture through the file index: the path, then with ".thumb".
[[nodiscard]] std::optional<Text> indexedSenderPicture(const BackupFileIndex& index,
                                                       std::string_view stored);

// A Timeline folder keeps every file flat, so a picture is found by its file
// name alone: as it is, with ".jpg", and failing both the ".thumb" name,
// which is taken without looking.
[[nodiscard]] std::string timelinePicture(const std::string& folder, std::string_view stored);

}  // namespace vessamo
