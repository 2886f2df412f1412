#include "whatsapp/FavouriteContactsReader.h"

#include <unordered_set>

#include "backup/SourceDatabase.h"
#include "common/WhatsAppIds.h"
#include "whatsapp/ChatDatabaseLocator.h"
#include "whatsapp/ColumnValues.h"

namespace vessamo {

namespace {

void readPushNames(ScanState& state, SourceDatabase& db) {
    SqliteStatement query;
    if (!db.prepare(query, "select ZJID,ZPUSHNAME from ZWAPROFILEPUSHNAME")) {
        return;
    }
    while (db.step(query)) {
        KTWhatsAppFavContact& favourite = state.whatsAppFavContactArray.emplace_back();
        if (auto jid = textValue(query, 0)) {
            favourite.whatsAppID = state.intern(whatsAppNumber(*jid));
        }
        if (auto name = textValue(query, 1)) {
            favourite.contactName = state.intern(*name);
        }
    }
}

// A member of several groups is listed once, under the name first seen.
void readGroupMembers(ScanState& state, SourceDatabase& db) {
    SqliteStatement query;
    if (!db.prepare(query, "select ZCONTACTNAME,ZMEMBERJID from ZWAGROUPMEMBER")) {
        return;
    }
    std::unordered_set<std::string_view> seen;  // views of interned numbers
    while (db.step(query)) {
        auto jid = textValue(query, 1);
        if (!jid) {
            continue;
        }
        const Text number = state.intern(whatsAppNumber(*jid));
        if (!seen.insert(number).second) {
            continue;
        }
        KTWhatsAppFavContact& favourite = state.whatsAppFavContactArray.emplace_back();
        favourite.whatsAppID = number;
        auto name = textValue(query, 0);
        // A private identifier is no number to show, nor to name a file
        // after: such a member stays nameless.
        favourite.contactName = name ? state.intern(*name) : isLidJid(number) ? Text() : number;
    }
}

}  // namespace

Status getWhatsAppFavateContact(ScanState& state, const std::string& folder) {
    auto source = findContactsDatabase(folder);
    if (!source) {
        return Status::notFound("WhatsAppMessageDB is not exist");
    }
    SourceDatabase db(state, *source);
    readPushNames(state, db);
    readGroupMembers(state, db);
    state.reporter.progress(70);
    return db.status();
}

}  // namespace vessamo
