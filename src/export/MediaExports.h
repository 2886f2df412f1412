#pragma once

#include <span>
#include <string>
#include <string_view>

#include "export/ExportReport.h"
#include "results/IKImageItem.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/ScanResult.h"

namespace vessamo {

// Dates a copy with the time of the message that owns a stored media path
// (the backup folder prefix "Message/" or "Library/" is dropped first); a
// copy whose message time is unknown keeps its dates.
void applyMediaTime(const ScanResult& result, std::string_view storedPath,
                    const std::string& copyPath, ExportReport& report);

// Copies the media of the chosen chats into "<recoverPath>/Media Files",
// newest message first, each copy dated with its message's time.
[[nodiscard]] ExportReport ExportChatAsAttachmentthreader(
    const ScanResult& result, std::span<const KTWhatsAppCovNode* const> conversations,
    const std::string& recoverPath, const ExportControl& control = {});

enum class MediaKind { all, videos, audios, photos };

// "<recoverPath>/Media Files" and its "Video", "Audios" and "Photos"
// folders; the folder the view reveals once an export has run.
[[nodiscard]] std::string mediaFolderOf(const std::string& recoverPath, MediaKind kind);

// The media browser's exports: every item of the kind, copied under its own
// name (made one safe path component) and dated with its message's time.
// Items of the same name replace each other; the report says so.
[[nodiscard]] ExportReport exportMediaByKind(const ScanResult& result,
                                             std::span<const IKImageItem> items,
                                             const std::string& recoverPath, MediaKind kind,
                                             const ExportControl& control = {});
[[nodiscard]] ExportReport ExportAllMediaFilesthreader(const ScanResult& result,
                                                       std::span<const IKImageItem> items,
                                                       const std::string& recoverPath,
                                                       const ExportControl& control = {});
[[nodiscard]] ExportReport ExportAllVideosthreader(const ScanResult& result,
                                                   std::span<const IKImageItem> items,
                                                   const std::string& recoverPath,
                                                   const ExportControl& control = {});
[[nodiscard]] ExportReport ExportAllAudiosthreader(const ScanResult& result,
                                                   std::span<const IKImageItem> items,
                                                   const std::string& recoverPath,
                                                   const ExportControl& control = {});
[[nodiscard]] ExportReport ExportAllPhotosthreader(const ScanResult& result,
                                                   std::span<const IKImageItem> items,
                                                   const std::string& recoverPath,
                                                   const ExportControl& control = {});
// The browser's selected items (already narrowed to the selection), into
// "Media Files".
[[nodiscard]] ExportReport ExportChatSelectedMediaPhotothreader(
    const ScanResult& result, std::span<const IKImageItem> selectedItems,
    const std::string& recoverPath, const ExportControl& control = {});

// The preview panel's save: the previewed file to "<user folder>/desktop",
// leaving a file already there of that name alone.
[[nodiscard]] ExportReport ExportPreviewContent(const std::string& previewPath,
                                                const std::string& previewName);

}  // namespace vessamo
