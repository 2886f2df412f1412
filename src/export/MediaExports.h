#pragma once

#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportSource.h"
#include "results/IKImageItem.h"

namespace vessamo {

// The time text of the message that owns a stored media path, or nullopt:
// the backup folder prefix ("Message/" or "Library/") is dropped from the
// path before it is looked up in the scan's media date table.
[[nodiscard]] std::optional<std::string> getFileDateByNodeFilepath(const ExportSource& source,
                                                                   std::string_view storedPath);

// Dates a copy with the time of the message that owns its stored media path;
// a copy whose message time is unknown keeps its dates.
void applyMediaTime(const ExportSource& source, const std::optional<std::string>& storedPath,
                    const std::string& copy, ExportReport& report);

// A message time text ("MM-DD-YYYY hh:mm", local time) as a moment, or
// nullopt when it is not one the calendar has.
[[nodiscard]] std::optional<std::time_t> parseMediaTime(std::string_view text);

// Copies the media of the chats at selectedRow of the chat list or checked
// into "<recoverPath>/Media Files", newest message first, each copy dated
// with its message's time. Runs on the caller's worker.
[[nodiscard]] ExportReport ExportChatAsAttachmentthreader(const ExportSource& source,
                                                          const std::string& recoverPath,
                                                          std::optional<size_t> selectedRow);

enum class MediaKind { all, videos, audios, photos };

// "<recoverPath>/Media Files" and its "Video", "Audios" and "Photos"
// folders; the folder the view reveals once an export has run.
[[nodiscard]] std::string mediaFolderOf(const std::string& recoverPath, MediaKind kind);

// The media browser's exports: every item of the kind, copied under its own
// name (made one safe path component) and dated with its message's time.
// Items of the same name replace each other; the report says so.
[[nodiscard]] ExportReport exportMediaByKind(const ExportSource& source,
                                             const std::vector<IKImageItem>& items,
                                             const std::string& recoverPath, MediaKind kind);
[[nodiscard]] ExportReport ExportAllMediaFilesthreader(const ExportSource& source,
                                                       const std::vector<IKImageItem>& items,
                                                       const std::string& recoverPath);
[[nodiscard]] ExportReport ExportAllVideosthreader(const ExportSource& source,
                                                   const std::vector<IKImageItem>& items,
                                                   const std::string& recoverPath);
[[nodiscard]] ExportReport ExportAllAudiosthreader(const ExportSource& source,
                                                   const std::vector<IKImageItem>& items,
                                                   const std::string& recoverPath);
[[nodiscard]] ExportReport ExportAllPhotosthreader(const ExportSource& source,
                                                   const std::vector<IKImageItem>& items,
                                                   const std::string& recoverPath);
// The items at the browser's selected indexes, into "Media Files".
[[nodiscard]] ExportReport ExportChatSelectedMediaPhotothreader(
    const ExportSource& source, const std::vector<IKImageItem>& items,
    const std::set<size_t>& selection, const std::string& recoverPath);

// The preview panel's save: the previewed file to "<user folder>/desktop",
// leaving a file already there of that name alone.
[[nodiscard]] ExportReport ExportPreviewContent(const std::string& currentPreviewFilePath,
                                                const std::string& currentPreviewFileName);

}  // namespace vessamo
