#pragma once

#include <QString>
#include <optional>

class QMediaPlayer;

#include "results/ScanResult.h"

namespace vessamo::gui {

// The folder of the source that holds a file of the result: the Timeline
// backup, the unpacked iCloud archives or the scanned backup. Pictures and
// films are only opened inside it.
[[nodiscard]] QString sourceRootOf(const ScanResult& result, const QString& file);

// The file, named by the root's real place, when it is a regular file inside
// root reached through no link at all (neither the file nor a folder between
// root and it); nullopt otherwise. A name to show or to tell a player what
// it plays: the bytes themselves are read through the opened file
// (ThumbnailCache::openInside), so a link put there afterwards is not
// followed either.
[[nodiscard]] std::optional<QString> confinedFile(const QString& file, const QString& root);

// Gives the player the file opened inside root, never its path, so the
// player cannot be led through a link; what it played before is let go.
// The open file belongs to the player until releaseSource. False, and no
// source at all, when the file is refused.
bool playConfined(QMediaPlayer& player, const QString& file, const QString& root);
// Stops the player, empties its source and closes the file it was given.
void releaseSource(QMediaPlayer& player);

}  // namespace vessamo::gui
