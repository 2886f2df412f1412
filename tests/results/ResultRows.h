#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "results/ScanResult.h"
#include "support/ResultFactory.h"

namespace vessamo::test {

// The texts of shown messages, for comparing with a list.
inline std::vector<std::string> contentsOf(const MessageRange& messages) {
    std::vector<std::string> contents;
    for (const KTWhatsAppNode& message : messages) {
        contents.emplace_back(message.messageContent);
    }
    return contents;
}

// The names of shown rows of any list, for comparing with a list.
template <typename T>
std::vector<std::string> namesOf(const std::vector<const T*>& rows) {
    std::vector<std::string> names;
    for (const T* row : rows) {
        if constexpr (requires(const T* r) { r->currentChatName; }) {
            names.emplace_back(row->currentChatName);
        } else if constexpr (requires(const T* r) { r->nodeName; }) {
            names.emplace_back(row->nodeName);
        } else {
            names.emplace_back(row->contactName);
        }
    }
    return names;
}

// A recovered message as the carver reports it; recover() hands it to the
// intake at once.
inline KTWhatsAppNode lostMessage(ResultFactory& make, int32_t chat, std::string_view name,
                                  std::string_view text = "") {
    KTWhatsAppNode message;
    message.chatID = chat;
    message.messageName = make.text(name);
    message.messageContent = make.text(text);
    return message;
}
inline void recover(ResultFactory& make, int32_t chat, std::string_view name,
                    std::string_view text) {
    make.recovered(lostMessage(make, chat, name, text));
}

}  // namespace vessamo::test
