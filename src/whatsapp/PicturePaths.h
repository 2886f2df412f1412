#pragma once

#include <functional>
#include <optional>
#include <string>

#include "results/BackupFileIndex.h"

namespace vessamo {

// Turns a picture path as WhatsApp stores it into the file that holds it,
// or nullopt. Each kind of source finds its files its own way.
using PictureResolver = std::function<std::optional<std::string>(const std::string& stored)>;

// A profile picture through the file index: the stored path (prefixed by the
// media folder unless the database is the shared container's), then with
// ".thumb", then with ".jpg".
[[nodiscard]] std::optional<std::string> indexedProfilePicture(const BackupFileIndex& index,
                                                               const std::string& stored,
                                                               bool groupContainer);

// A sender's picture through the file index: the path, then with ".thumb".
[[nodiscard]] std::optional<std::string> indexedSenderPicture(const BackupFileIndex& index,
                                                              const std::string& stored);

// A Timeline folder keeps every file flat, so a picture is found by its file
// name alone: as it is, with ".jpg", and failing both the ".thumb" name,
// which is taken without looking.
[[nodiscard]] std::string timelinePicture(const std::string& folder, const std::string& stored);

}  // namespace vessamo
