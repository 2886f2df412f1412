#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vessamo {

// WhatsApp's message types for rows the app writes itself rather than a
// person: group events (who created the group, who was added) and the
// encryption notice that opens every chat.
inline constexpr int32_t kGroupEventMessageType = 6;
inline constexpr int32_t kEncryptionNoticeMessageType = 10;

[[nodiscard]] bool isSystemMessageType(int32_t messageType);

// What a system row's line says: the group event where its kind is known,
// else a general description. Nothing for rows people wrote.
[[nodiscard]] std::optional<std::string_view> systemDescription(
    int32_t messageType, std::optional<int32_t> groupEventType);

}  // namespace vessamo
