#include "carving/CarvedMessageCheck.h"

#include <climits>
#include <ctime>

#include "common/AppleTime.h"
#include "common/TextConversion.h"
#include "common/WhatsAppIds.h"

namespace vessamo {

namespace {

constexpr int64_t kFirstWhatsAppSeconds = 252460800;  // 2009-01-01 UTC
constexpr int64_t kOneDay = 86400;
constexpr int64_t kLargestStatus = 99;

// What a person typed: valid UTF-8 without control characters other than
// line breaks and tabs. A stray control byte is the mark of a record whose
// end was overwritten.
bool isTypedText(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7f) {
            return false;
        }
    }
    return isValidUtf8(text);
}

bool has(int column) {
    return column >= 0;
}

std::optional<int64_t> integerOf(std::span<const uint8_t> bytes, const SerialRecord& record,
                                 int column) {
    if (!has(column) || !record.fields[static_cast<size_t>(column)].isInteger()) {
        return std::nullopt;
    }
    return record.integer(bytes, static_cast<size_t>(column));
}

// NULL, or a text that is a WhatsApp address.
bool isAddressOrNull(std::span<const uint8_t> bytes, const SerialRecord& record, int column) {
    if (!has(column)) {
        return true;
    }
    const SerialField& field = record.fields[static_cast<size_t>(column)];
    return field.isNull() ||
           (field.isText() && isWhatsAppAddress(record.text(bytes, static_cast<size_t>(column))));
}

bool hasAddress(std::span<const uint8_t> bytes, const SerialRecord& record, int column) {
    return has(column) && record.fields[static_cast<size_t>(column)].isText() &&
           isWhatsAppAddress(record.text(bytes, static_cast<size_t>(column)));
}

bool dateIsPlausible(std::span<const uint8_t> bytes, const SerialRecord& record, int column) {
    if (!has(column)) {
        return true;
    }
    const SerialField& field = record.fields[static_cast<size_t>(column)];
    if (!field.isInteger() && !field.isReal()) {
        return false;
    }
    const double seconds = record.real(bytes, static_cast<size_t>(column));
    const double latest =
        static_cast<double>(AppleTime::fromUnix(std::time(nullptr)).seconds + kOneDay);
    return seconds >= static_cast<double>(kFirstWhatsAppSeconds) && seconds <= latest;
}

Rejection checkChat(std::span<const uint8_t> bytes, const SerialRecord& record,
                    const MessageColumns& columns, const CarveContext& context, bool& deletedChat) {
    deletedChat = false;
    const auto chat = integerOf(bytes, record, columns.chat);
    if (!chat || *chat < 1 || *chat > INT32_MAX) {
        return Rejection::Chat;
    }
    if (!context.chats || context.chats->contains(*chat)) {
        return Rejection::None;
    }
    const bool keyGiven = !context.largestChatKey || *chat <= *context.largestChatKey;
    if (!keyGiven ||
        !(hasAddress(bytes, record, columns.fromJid) || hasAddress(bytes, record, columns.toJid))) {
        return Rejection::Chat;
    }
    deletedChat = true;
    return Rejection::None;
}

// A record cut short by the end of its region keeps its text's start; one
// cut before its text lost the columns that say what it was (its stanza
// id, its text), and the NULLs parsed in their place would pass for a
// media message.
bool cutBeforeText(const SerialRecord& record, const MessageColumns& columns) {
    if (!record.cut) {
        return false;
    }
    size_t last = record.fields.size();
    while (last > 0 && record.fields[last - 1].isNull()) {
        --last;
    }
    return last <= static_cast<size_t>(columns.text);
}

Rejection checkContent(std::span<const uint8_t> bytes, const SerialRecord& record,
                       const MessageColumns& columns) {
    if (cutBeforeText(record, columns)) {
        return Rejection::Text;
    }
    const SerialField& text = record.fields[static_cast<size_t>(columns.text)];
    if (!text.isNull() && !text.isText()) {
        return Rejection::Text;
    }
    const std::string_view content = record.text(bytes, static_cast<size_t>(columns.text));
    if (!isTypedText(content)) {
        return Rejection::Text;
    }
    // The push name (or metadata) and the stanza id are written by the
    // app, never binary: bytes that are not text there were overwritten.
    for (const int column : {columns.pushName, columns.stanza}) {
        if (!has(column)) {
            continue;
        }
        const SerialField& field = record.fields[static_cast<size_t>(column)];
        if (!field.isNull() &&
            !(field.isText() && isTypedText(record.text(bytes, static_cast<size_t>(column))))) {
            return Rejection::Text;
        }
    }
    const auto media = integerOf(bytes, record, columns.media);
    if (content.empty() && !(media && *media >= 1)) {
        return Rejection::Empty;
    }
    return Rejection::None;
}

}  // namespace

std::optional<MessageColumns> messageColumnsNamed(const std::vector<std::string>& names) {
    MessageColumns columns;
    columns.count = names.size();
    columns.entity = -1;
    const std::pair<std::string_view, int MessageColumns::*> kNamed[] = {
        {"Z_ENT", &MessageColumns::entity},
        {"ZISFROMME", &MessageColumns::fromMe},
        {"ZMESSAGESTATUS", &MessageColumns::status},
        {"ZCHATSESSION", &MessageColumns::chat},
        {"ZGROUPMEMBER", &MessageColumns::groupMember},
        {"ZMEDIAITEM", &MessageColumns::media},
        {"ZMESSAGEDATE", &MessageColumns::date},
        {"ZFROMJID", &MessageColumns::fromJid},
        {"ZPUSHNAME", &MessageColumns::pushName},
        {"ZSTANZAID", &MessageColumns::stanza},
        {"ZTEXT", &MessageColumns::text},
        {"ZTOJID", &MessageColumns::toJid},
        {"ZMESSAGETYPE", &MessageColumns::kind},
    };
    for (size_t at = 0; at < names.size(); ++at) {
        for (const auto& [name, member] : kNamed) {
            if (names[at] == name) {
                columns.*member = static_cast<int>(at);
            }
        }
    }
    if (columns.entity < 0 || columns.chat < 0 || columns.date < 0 || columns.fromMe < 0 ||
        columns.text < 0) {
        return std::nullopt;
    }
    return columns;
}

std::string_view rejectionName(Rejection rejection) {
    static constexpr std::array<std::string_view, kRejectionKinds> kNames = {
        "accepted",
        "inside a live row",
        "not a message row",
        "no such chat",
        "from-me flag not 0/1",
        "impossible status",
        "date out of range",
        "not a WhatsApp address",
        "text not readable",
        "neither text nor media",
        "overwritten by a later row"};
    return kNames[static_cast<size_t>(rejection)];
}

std::vector<uint8_t> messageStorageClasses(const MessageColumns& columns) {
    std::vector<uint8_t> classes(columns.count, kAnyClass);
    const auto limit = [&](int column, uint8_t allowed) {
        if (has(column) && static_cast<size_t>(column) < classes.size()) {
            classes[static_cast<size_t>(column)] &= allowed;
        }
    };
    limit(columns.entity, kIntegerClass);
    limit(columns.fromMe, kIntegerClass);
    limit(columns.chat, kIntegerClass);
    limit(columns.status, kNullClass | kIntegerClass);
    limit(columns.date, kIntegerClass | kRealClass);
    for (const int column : {columns.fromJid, columns.toJid, columns.text, columns.pushName}) {
        limit(column, kNullClass | kTextClass);
    }
    return classes;
}

bool isWholeImage(RecordOrigin origin) {
    return origin == RecordOrigin::WalFrame || origin == RecordOrigin::FreelistPage ||
           origin == RecordOrigin::ReplacedPage;
}

bool overwrittenInImage(std::span<const uint8_t> page, size_t usable, const SerialRecord& record) {
    constexpr uint8_t kTableLeaf = 0x0d;
    if (page.size() < usable || page.empty() || page[0] != kTableLeaf || record.end == 0 ||
        record.headerStart == 0 || record.end > usable) {
        return false;
    }
    const PageCells cells(page, usable);
    const bool inside = cells.insideLiveCell(record.headerStart);
    for (size_t at = record.headerStart + 1; at < record.end; ++at) {
        if (cells.insideLiveCell(at) != inside) {
            return true;
        }
    }
    return false;
}

bool isWhatsAppAddress(std::string_view text) {
    constexpr size_t kLongestUser = 64;
    for (const std::string_view suffix : {kPersonSuffix, kGroupSuffix, kLidSuffix}) {
        if (text.size() <= suffix.size() || !text.ends_with(suffix)) {
            continue;
        }
        const std::string_view user = text.substr(0, text.size() - suffix.size());
        return user.size() <= kLongestUser &&
               user.find_first_not_of("0123456789-") == std::string_view::npos;
    }
    return false;
}

Rejection checkMessage(std::span<const uint8_t> bytes, const SerialRecord& record,
                       const MessageColumns& columns, const CarveContext& context,
                       bool& deletedChat) {
    deletedChat = false;
    const auto entity = integerOf(bytes, record, columns.entity);
    if (!entity || *entity < 1 || (context.messageEntity && *entity != *context.messageEntity)) {
        return Rejection::Entity;
    }
    const auto fromMe = integerOf(bytes, record, columns.fromMe);
    if (has(columns.fromMe) && (!fromMe || (*fromMe != 0 && *fromMe != 1))) {
        return Rejection::FromMe;
    }
    const auto status = integerOf(bytes, record, columns.status);
    const bool statusNull =
        has(columns.status) && record.fields[static_cast<size_t>(columns.status)].isNull();
    if (has(columns.status) && !statusNull &&
        (!status || *status < 0 || *status > kLargestStatus)) {
        return Rejection::Status;
    }
    if (!dateIsPlausible(bytes, record, columns.date)) {
        return Rejection::Date;
    }
    if (!isAddressOrNull(bytes, record, columns.fromJid) ||
        !isAddressOrNull(bytes, record, columns.toJid)) {
        return Rejection::Address;
    }
    if (const Rejection content = checkContent(bytes, record, columns);
        content != Rejection::None) {
        return content;
    }
    return checkChat(bytes, record, columns, context, deletedChat);
}

}  // namespace vessamo
