#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/ConfinedFiles.h"
#include "common/Status.h"
#include "common/Text.h"
#include "results/KTTreeDirNode.h"

namespace vessamo {

// The WhatsApp files of one source, built by one of the catalogue readers
// at the start of a scan and kept with its result. Its texts live in the
// store of the scan that built it.
struct BackupFileIndex {
    // The folder every file of the index must lie in, and how many files the
    // catalogue named that are links, climb out of it or are no regular
    // file: those are left out of the index.
    std::string sourceFolder;
    size_t skippedFiles = 0;
    std::unordered_map<std::string_view, Text> treeFileDict;  // relative path -> file
    std::vector<KTTreeDirNode> whatsAppFileArray;
    std::vector<KTTreeDirNode> wpMediaArray;
    Text whatsAppChatPath;        // file key of the last "ChatStorage.sqlite" row
    bool bNewAppVersion = false;  // media live under "Message/Media/"

    // The file that holds a relative path; nullopt when the path was not
    // indexed, or its file has gone or been replaced by a link since.
    [[nodiscard]] std::optional<Text> getFileKeyBytheFilepath(std::string_view relativePath) const;

    // A file of the source with the folder it must be read inside: the
    // source folder for paths below it (a ".." among them is refused when
    // the file is opened), else the file's own folder.
    [[nodiscard]] PathWithin within(std::string path) const;

    // Tells how many files were left out ("skipped: ..."); ok when none were.
    [[nodiscard]] Status skippedStatus() const;

    // Records one catalogue entry whose file exists, unless the file is not
    // a regular file inside sourceFolder (then it is counted in skippedFiles).
    void addExisting(const KTTreeDirNode& entry);
};

// Domains whose files a scan keeps. Manifest.mbdb backups predate the
// business app, so their reader keeps only the first two.
inline constexpr std::string_view kWhatsAppDomain = "AppDomain-net.whatsapp.WhatsApp";
inline constexpr std::string_view kWhatsAppGroupDomain =
    "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
inline constexpr std::string_view kBusinessDomain = "AppDomain-net.whatsapp.WhatsAppSMB";
inline constexpr std::string_view kBusinessGroupDomain =
    "AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared";

}  // namespace vessamo
