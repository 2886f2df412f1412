#include "whatsapp/FavouriteContactsReader.h"

#include <unordered_set>

#include "common/NotificationCenter.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "common/WhatsAppIds.h"
#include "whatsapp/ChatDatabaseLocator.h"
#include "whatsapp/ColumnValues.h"

namespace vessamo {

namespace {

void keep(ScanState& state, KTWhatsAppFavContactPtr favourite) {
    state.wpfContactArray.push_back(favourite);
    state.whatsAppFavContactArray.push_back(std::move(favourite));
}

void readPushNames(ScanState& state, const SqliteDatabase& db) {
    SqliteStatement query;
    if (query.prepare(db, "select ZJID,ZPUSHNAME from ZWAPROFILEPUSHNAME") != SQLITE_OK) {
        return;
    }
    while (query.step() == SQLITE_ROW) {
        auto favourite = std::make_shared<KTWhatsAppFavContact>();
        if (auto jid = textValue(query, 0)) {
            favourite->whatsAppID = whatsAppNumber(*jid);
        }
        if (auto name = textValue(query, 1)) {
            favourite->contactName = *name;
        }
        keep(state, std::move(favourite));
    }
}

// A member of several groups is listed once, under the name first seen.
void readGroupMembers(ScanState& state, const SqliteDatabase& db) {
    SqliteStatement query;
    if (query.prepare(db, "select ZCONTACTNAME,ZMEMBERJID from ZWAGROUPMEMBER") != SQLITE_OK) {
        return;
    }
    std::unordered_set<std::string> seen;
    while (query.step() == SQLITE_ROW) {
        auto jid = textValue(query, 1);
        if (!jid) {
            continue;
        }
        auto favourite = std::make_shared<KTWhatsAppFavContact>();
        if (auto name = textValue(query, 0)) {
            favourite->contactName = *name;
        }
        favourite->whatsAppID = whatsAppNumber(*jid);
        if (favourite->contactName.empty()) {
            favourite->contactName = favourite->whatsAppID;
        }
        if (seen.insert(favourite->whatsAppID).second) {
            keep(state, std::move(favourite));
        }
    }
}

}  // namespace

void getWhatsAppFavateContact(ScanState& state, const std::string& folder) {
    auto source = findContactsDatabase(folder);
    if (!source) {
        SystemLog::write("WhatsAppMessageDB is not exist");
        return;
    }
    auto copy = state.databaseCopy(*source);
    SqliteDatabase db;
    if (copy && db.open(*copy, SqliteDatabase::Mode::ReadOnly) == SQLITE_OK) {
        readPushNames(state, db);
        readGroupMembers(state, db);
    }
    state.notifications.post("ScanProgressInfo", 70);
}

}  // namespace vessamo
