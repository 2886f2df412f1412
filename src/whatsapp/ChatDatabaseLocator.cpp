#include "whatsapp/ChatDatabaseLocator.h"

#include <array>

#include "backup/BackupFileLocator.h"
#include "common/ConfinedFiles.h"

namespace vessamo {

namespace {

constexpr const char* kSharedChat = "7c7fba66680ef796b916b067077cc246adacf01d";
constexpr const char* kBusinessChat = "724bd3b98b18518b455a87c1f3ac3a0d189c4466";
constexpr const char* kOldChat = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";
constexpr const char* kSharedContacts = "ec50dd986a0f35953e40f6ca9602ad78173e254f";

}  // namespace

std::optional<ChatDatabase> findChatDatabase(const ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return std::nullopt;
    }
    using L = BackupFileLocator;
    if (state.biOS10version) {
        for (const char* key : {kSharedChat, kBusinessChat}) {
            std::string path = L::keyPath(folder, key, true);
            if (L::exists(path)) {
                return ChatDatabase{path, true};
            }
        }
    } else {
        std::string path = L::keyPath(folder, kSharedChat, false);
        if (L::exists(path)) {
            return ChatDatabase{path, true};
        }
    }
    std::string old = L::keyPath(folder, kOldChat, false);
    if (L::exists(old)) {
        return ChatDatabase{old, false};
    }
    // The name comes from the catalogue, which anyone can write: it must not
    // lead out of the backup.
    if (isPlainRelativePath(state.index.whatsAppChatPath)) {
        std::string named = folder + "/" + state.index.whatsAppChatPath;
        if (L::exists(named)) {
            return ChatDatabase{named, false};
        }
    }
    return std::nullopt;
}

std::optional<std::string> findContactsDatabase(const std::string& folder) {
    if (folder.empty()) {
        return std::nullopt;
    }
    using L = BackupFileLocator;
    const std::array<std::string, 5> candidates = {
        L::keyPath(folder, kSharedChat, true), L::keyPath(folder, kBusinessChat, true),
        L::keyPath(folder, kSharedContacts, true), L::keyPath(folder, kSharedChat, false),
        L::keyPath(folder, kSharedContacts, false)};
    for (const std::string& path : candidates) {
        if (L::exists(path)) {
            return path;
        }
    }
    return std::nullopt;
}

}  // namespace vessamo
