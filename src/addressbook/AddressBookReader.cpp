#include "addressbook/AddressBookReader.h"

#include <any>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "backup/BackupFileLocator.h"
#include "common/NotificationCenter.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

constexpr std::string_view kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr std::string_view kImagesKey = "cd6702cea29fe89cf280a76794405adb17f9a0ee";

constexpr std::string_view kFullSizeImageQuery = "select record_id, data from ABFullSizeImage";
constexpr std::string_view kOldImageQuery = "select record_id, data from ABImage";
constexpr std::string_view kPersonQuery =
    "select DISTINCT Rowid, first, Department,DisplayName,firstPhonetic,jobTitle,organization,"
    "middle,middlePhonetic,CreationDate,Last,Note,Nickname,prefix, suffix, Birthday from abperson ";
constexpr std::string_view kMultiValueQuery =
    "select property,label,value, UID from abmultivalue where record_id = ? ";

// Columns of kPersonQuery that become part of a contact.
enum PersonColumn {
    kRowid = 0,
    kFirst = 1,
    kDepartment = 2,
    kJobTitle = 5,
    kOrganization = 6,
    kMiddle = 7,
    kLast = 10,
    kNote = 11,
    kBirthday = 15,
};

// Multi-value properties as the address book numbers them.
enum MultiValueProperty {
    kPhone = 3,
    kEmail = 4,
    kAddress = 5,
    kHomepage = 22,
};

constexpr int kProgressAfterContacts = 65;

struct PictureSource {
    std::string path;
    std::string_view query;
};

// Backups before iOS 10 keep the pictures flat, newer ones two-level; the
// flat name is tried first even in a two-level backup, since a restored or
// migrated backup can carry both. The ".mddata" file holds the oldest form.
std::optional<PictureSource> findPictureSource(const std::string& folder) {
    const std::string flat = BackupFileLocator::keyPath(folder, kImagesKey, false);
    if (BackupFileLocator::exists(flat)) {
        return PictureSource{flat, kFullSizeImageQuery};
    }
    const std::string twoLevel = BackupFileLocator::keyPath(folder, kImagesKey, true);
    if (BackupFileLocator::exists(twoLevel)) {
        return PictureSource{twoLevel, kFullSizeImageQuery};
    }
    const std::string mddata = flat + ".mddata";
    if (BackupFileLocator::exists(mddata)) {
        return PictureSource{mddata, kOldImageQuery};
    }
    return std::nullopt;
}

// Opens the private copy of a backup database; the source is never opened,
// as even a read-only open of a log-mode database writes files beside it.
bool openCopy(ScanState& state, const std::string& source, SqliteDatabase& db) {
    auto copy = state.databaseCopy(source);
    return copy && db.open(*copy, SqliteDatabase::Mode::ReadOnly) == SQLITE_OK;
}

void readPictures(ScanState& state, const std::string& folder) {
    auto source = findPictureSource(folder);
    SqliteDatabase db;
    if (!source || !openCopy(state, source->path, db)) {
        return;
    }
    SqliteStatement rows;
    if (rows.prepare(db, source->query) != SQLITE_OK) {
        return;
    }
    while (rows.step() == SQLITE_ROW) {
        auto picture = std::make_shared<KTContactImageNode>();
        picture->rowid = static_cast<int32_t>(rows.columnInt64(0));
        picture->imageData = rows.columnBlob(1);
        state.contactImageArray.push_back(std::move(picture));
    }
}

// A text column worth keeping: nullopt for NULL and empty values.
std::optional<std::string> textColumn(const SqliteStatement& row, int column) {
    auto bytes = row.columnText(column);
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    return GetStringFormChar(*bytes);
}

// Name and company parts are joined with one blank even when the part
// before is empty, so a contact with only a last name reads " Smith".
void appendPart(std::string& field, const std::optional<std::string>& part) {
    if (part) {
        field += " ";
        field += *part;
    }
}

KTContactNodePtr contactFromRow(const SqliteStatement& row) {
    auto contact = std::make_shared<KTContactNode>();
    if (int64_t rowid = row.columnInt64(kRowid); rowid != 0) {
        contact->rowid = static_cast<int32_t>(rowid);
    }
    if (auto first = textColumn(row, kFirst)) {
        contact->contactName = *first;
    }
    if (auto department = textColumn(row, kDepartment)) {
        contact->contactCompany = *department;
    }
    appendPart(contact->contactCompany, textColumn(row, kJobTitle));
    appendPart(contact->contactCompany, textColumn(row, kOrganization));
    appendPart(contact->contactName, textColumn(row, kMiddle));
    appendPart(contact->contactName, textColumn(row, kLast));
    if (auto note = textColumn(row, kNote)) {
        contact->contactNote = *note;
    }
    if (auto birthday = textColumn(row, kBirthday)) {
        contact->contactBirthday = *birthday;
    }
    return contact;
}

// An address book whose person table lacks a column of the query yields
// no contacts rather than guessed ones.
void readPersons(ScanState& state, const SqliteDatabase& db) {
    SqliteStatement rows;
    if (rows.prepare(db, kPersonQuery) != SQLITE_OK) {
        SystemLog::write("Cannot read the address book: " + db.lastError());
        return;
    }
    while (rows.step() == SQLITE_ROW) {
        state.contactArray.push_back(contactFromRow(rows));
    }
}

std::string* fieldForProperty(KTContactNode& contact, int64_t property) {
    switch (property) {
        case kPhone:
            return &contact.contactPhone;
        case kEmail:
            return &contact.contactEmail;
        case kAddress:
            return &contact.contactAdress;
        case kHomepage:
            return &contact.contactHomepage;
        default:
            return nullptr;
    }
}

void addMultiValues(SqliteStatement& values, KTContactNode& contact) {
    (void)values.reset();
    if (values.bind(1, int64_t{contact.rowid}) != SQLITE_OK) {
        return;
    }
    while (values.step() == SQLITE_ROW) {
        std::string* field = fieldForProperty(contact, values.columnInt64(0));
        if (field != nullptr) {
            appendPart(*field, textColumn(values, 2));
        }
    }
}

// A picture row belongs to the contact with its rowid; when several rows
// name one contact, the last one read wins.
std::unordered_map<int32_t, const KTContactImageNode*> picturesByRowid(
    const std::vector<KTContactImageNodePtr>& pictures) {
    std::unordered_map<int32_t, const KTContactImageNode*> byRowid;
    for (const KTContactImageNodePtr& picture : pictures) {
        byRowid[picture->rowid] = picture.get();
    }
    return byRowid;
}

void completeContacts(ScanState& state, const SqliteDatabase& db) {
    const auto pictures = picturesByRowid(state.contactImageArray);
    SqliteStatement values;
    const bool haveValues = db.isOpen() && values.prepare(db, kMultiValueQuery) == SQLITE_OK;
    for (const KTContactNodePtr& contact : state.contactArray) {
        if (auto picture = pictures.find(contact->rowid); picture != pictures.end()) {
            contact->imageData = picture->second->imageData;
        }
        if (haveValues) {
            addMultiValues(values, *contact);
        }
        state.wpContactArray.push_back(contact);
    }
}

// What differs between a backup's address book and a Timeline's copy: where
// the database lies, and whether the scan reports its progress.
struct AddressBookSource {
    std::string database;
    bool postProgress = true;
};

void readAddressBook(ScanState& state, const std::string& folder, const AddressBookSource& source) {
    if (!BackupFileLocator::exists(source.database)) {
        SystemLog::write("contactDB is not exist");
        return;
    }
    SqliteDatabase db;
    const bool opened = openCopy(state, source.database, db);
    readPictures(state, folder);
    if (opened) {
        readPersons(state, db);
    }
    completeContacts(state, db);
    if (source.postProgress) {
        state.notifications.post("ScanProgressInfo", std::any(kProgressAfterContacts));
    }
}

}  // namespace

void scanContactThread(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    readAddressBook(
        state, folder,
        {BackupFileLocator::keyPath(folder, kAddressBookKey, state.biOS10version), true});
}

// A Timeline keeps its address book flat, whatever the layout of the backup
// it was made from; its scan has a progress scale of its own.
void ScanTimelineBackupContactWithPath(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    readAddressBook(state, folder,
                    {BackupFileLocator::keyPath(folder, kAddressBookKey, false), false});
}

}  // namespace vessamo
