#pragma once

#include <QString>
#include <optional>

#include "results/ScanResult.h"

namespace vessamo::gui {

// The folder of the source that holds a file of the result: the Timeline
// backup, the unpacked iCloud archives or the scanned backup. Pictures and
// films are only opened inside it.
[[nodiscard]] QString sourceRootOf(const ScanResult& result, const QString& file);

// The file itself when it is a regular file inside root reached through no
// link at all (neither the file nor a folder between root and it); nullopt
// otherwise. For readers that cannot open a descriptor themselves, such as
// the media player.
[[nodiscard]] std::optional<QString> confinedFile(const QString& file, const QString& root);

}  // namespace vessamo::gui
