#include "export/ReportOrigin.h"

#include <algorithm>

namespace vessamo {

namespace {

// The scan notes a cut text after the place, "freeblock, text cut".
constexpr std::string_view kCutSuffix = ", text cut";
constexpr std::string_view kWalFrame = "wal frame ";

std::string_view placeSentence(std::string_view where) {
    if (where == "freeblock") {
        return "a freed block of a table page of the chat database";
    }
    if (where == "unallocated") {
        return "the unused space of a table page of the chat database";
    }
    if (where == "freelist") {
        return "a page the chat database had given back to its free list";
    }
    if (where == "interior") {
        return "a page of the chat database that once held rows and now only points to others";
    }
    if (where == "overflow") {
        return "an overflow page of the chat database";
    }
    if (where == "replaced page") {
        return "the chat database's own older copy of a page its write-ahead log replaced";
    }
    return "the chat database's free space";
}

}  // namespace

RecoveredPlace recoveredPlaceOf(const ScanResult& result, const KTWhatsAppNode& message) {
    if (!message.bDeleted) {
        return {};
    }
    const std::optional<std::string_view> noted = result.recoveredOriginOf(message);
    if (!noted) {
        return {};
    }
    RecoveredPlace place{*noted, false};
    if (place.where.ends_with(kCutSuffix)) {
        place.where.remove_suffix(kCutSuffix.size());
        place.textCut = true;
    }
    return place;
}

std::string recoveredPlaceLabel(const RecoveredPlace& place) {
    std::string label(place.where);
    if (place.textCut) {
        label.append(label.empty() ? "text cut" : " \u00b7 text cut");
    }
    return label;
}

std::string recoveredCaption(const RecoveredPlace& place) {
    const std::string label = recoveredPlaceLabel(place);
    return label.empty() ? std::string("Recovered") : "Recovered \u00b7 " + label;
}

std::string recoveredExplanation(const RecoveredPlace& place) {
    std::string sentence = "Found in ";
    if (place.where.starts_with(kWalFrame)) {
        sentence.append("frame ").append(place.where.substr(kWalFrame.size()));
        sentence.append(" of the chat database's write-ahead log, which may hold older copies");
    } else {
        sentence.append(placeSentence(place.where));
    }
    sentence.push_back('.');
    if (place.textCut) {
        sentence.append(" Only the start of its text survived.");
    }
    return sentence;
}

bool isDeletedChat(const ScanResult& result, const KTWhatsAppCovNode& chat) {
    return chat.bDeleted && std::find(result.deletedChats.begin(), result.deletedChats.end(),
                                      chat.chatID) != result.deletedChats.end();
}

}  // namespace vessamo
