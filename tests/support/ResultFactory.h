#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "results/ScanResult.h"

namespace vessamo::test {

// Builds a ScanResult by hand, the way a scan would: records go into a scan
// state (texts copied into its store) and finish() sorts the messages into
// their conversations. Each add returns the record for further touches;
// the reference is good until the next add of the same kind.
class ResultFactory {
public:
    ResultFactory() : state_(reporter_, std::stop_token()) {}

    [[nodiscard]] Text text(std::string_view bytes) { return state_.keep(bytes); }

    KTWhatsAppCovNode& chat(int32_t chatID, std::string_view name, std::string_view number = "",
                            bool group = false) {
        KTWhatsAppCovNode& chat = state_.wpConvChatArray.emplace_back();
        chat.chatID = chatID;
        chat.currentChatName = text(name);
        chat.currentChatNumber = text(number);
        chat.isGroupCov = group;
        return chat;
    }
    KTWhatsAppNode& message(int32_t chatID, std::string_view content,
                            Direction direction = Direction::Receive,
                            std::optional<AppleTime> date = std::nullopt) {
        KTWhatsAppNode& message = state_.wpChatArray.emplace_back();
        message.chatID = chatID;
        message.messageContent = text(content);
        message.messageType = direction;
        message.messageDate = date;
        return message;
    }
    // A recovered message, shown as it arrives (a conversation of its own).
    void recovered(const KTWhatsAppNode& message) { state_.intake.take(message); }
    KTContactNode& contact(std::string_view name, std::string_view phone) {
        KTContactNode& contact = state_.contactArray.emplace_back();
        contact.contactName = text(name);
        contact.contactPhone = text(phone);
        return contact;
    }
    KTWhatsAppFavContact& favourite(std::string_view name, std::string_view number) {
        KTWhatsAppFavContact& favourite = state_.whatsAppFavContactArray.emplace_back();
        favourite.contactName = text(name);
        favourite.whatsAppID = text(number);
        return favourite;
    }
    KTCallHistoryNode& call(std::string_view name, std::string_view phone) {
        KTCallHistoryNode& call = state_.wpCallArray.emplace_back();
        call.callName = text(name);
        call.callPhone = text(phone);
        return call;
    }
    // A media file of the source: relative path and the file holding it.
    KTTreeDirNode& media(std::string_view relativePath, std::string_view file) {
        KTTreeDirNode& node = state_.index.wpMediaArray.emplace_back();
        node.fileDomain = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
        node.filePath = text(relativePath);
        node.fileKey = text(file);
        state_.index.treeFileDict[node.filePath] = node.fileKey;
        return node;
    }

    // Everything else a test may want to set up directly.
    [[nodiscard]] ScanState& state() { return state_; }

    [[nodiscard]] ScanResultPtr finish(SourceKind kind = SourceKind::Backup,
                                       const std::string& folder = "") {
        return state_.finish(kind, folder);
    }

private:
    ScanReporter reporter_;
    ScanState state_;
};

}  // namespace vessamo::test
