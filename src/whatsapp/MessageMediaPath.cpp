#include "whatsapp/MessageMediaPath.h"

#include <array>

namespace vessamo {

std::optional<std::string> resolveMessageFile(const KTWhatsAppNode& message,
                                              const BackupFileIndex& index) {
    const std::string prefix = index.bNewAppVersion ? "Message/" : "Library/";
    const std::array<const std::string*, 3> candidates = {
        &message.messageAttchpath, &message.messageThumPath, &message.messagePPThumpath};
    for (const std::string* stored : candidates) {
        if (stored->empty()) {
            continue;
        }
        if (auto file = index.getFileKeyBytheFilepath(prefix + *stored)) {
            return file;
        }
    }
    return std::nullopt;
}

}  // namespace vessamo
