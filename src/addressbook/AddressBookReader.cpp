#include "addressbook/AddressBookReader.h"

#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "backup/SourceDatabase.h"
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

// A contact while its rows are gathered; its texts go to the store once
// complete.
struct ContactDraft {
    int32_t rowid = -1;
    std::string name;
    std::string phone;
    std::string email;
    std::string homepage;
    std::string company;
    std::string birthday;
    std::string note;
    std::string address;
};

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

Status readPictures(ScanState& state, const std::string& folder) {
    auto source = findPictureSource(folder);
    if (!source) {
        return Status();
    }
    SourceDatabase db(state, source->path);
    SqliteStatement rows;
    if (!db.prepare(rows, source->query)) {
        return db.status();
    }
    while (db.step(rows)) {
        state.contactImageArray.push_back(
            KTContactImageNode{static_cast<int32_t>(rows.columnInt64(0)), rows.columnBlob(1)});
    }
    return db.status();
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

ContactDraft contactFromRow(const SqliteStatement& row) {
    ContactDraft contact;
    if (int64_t rowid = row.columnInt64(kRowid); rowid != 0) {
        contact.rowid = static_cast<int32_t>(rowid);
    }
    contact.name = textColumn(row, kFirst).value_or("");
    contact.company = textColumn(row, kDepartment).value_or("");
    appendPart(contact.company, textColumn(row, kJobTitle));
    appendPart(contact.company, textColumn(row, kOrganization));
    appendPart(contact.name, textColumn(row, kMiddle));
    appendPart(contact.name, textColumn(row, kLast));
    contact.note = textColumn(row, kNote).value_or("");
    contact.birthday = textColumn(row, kBirthday).value_or("");
    return contact;
}

// An address book whose person table lacks a column of the query yields
// no contacts rather than guessed ones.
std::vector<ContactDraft> readPersons(SourceDatabase& db) {
    std::vector<ContactDraft> contacts;
    SqliteStatement rows;
    if (!db.prepare(rows, kPersonQuery)) {
        if (db.status().ok()) {
            SystemLog::write("Cannot read the address book: " + db.db().lastError());
        }
        return contacts;
    }
    while (db.step(rows)) {
        contacts.push_back(contactFromRow(rows));
    }
    return contacts;
}

std::string* fieldForProperty(ContactDraft& contact, int64_t property) {
    switch (property) {
        case kPhone:
            return &contact.phone;
        case kEmail:
            return &contact.email;
        case kAddress:
            return &contact.address;
        case kHomepage:
            return &contact.homepage;
        default:
            return nullptr;
    }
}

void addMultiValues(SourceDatabase& db, SqliteStatement& values, ContactDraft& contact) {
    (void)values.reset();
    if (values.bind(1, int64_t{contact.rowid}) != SQLITE_OK) {
        return;
    }
    while (db.step(values)) {
        std::string* field = fieldForProperty(contact, values.columnInt64(0));
        if (field != nullptr) {
            appendPart(*field, textColumn(values, 2));
        }
    }
}

// A picture row belongs to the contact with its rowid; when several rows
// name one contact, the last one read wins.
std::unordered_map<int32_t, const KTContactImageNode*> picturesByRowid(
    const std::vector<KTContactImageNode>& pictures) {
    std::unordered_map<int32_t, const KTContactImageNode*> byRowid;
    for (const KTContactImageNode& picture : pictures) {
        byRowid[picture.rowid] = &picture;
    }
    return byRowid;
}

KTContactNode contactOf(ScanState& state, const ContactDraft& draft) {
    KTContactNode contact;
    contact.rowid = draft.rowid;
    contact.contactName = state.intern(draft.name);
    contact.contactPhone = state.intern(draft.phone);
    contact.contactEmail = state.intern(draft.email);
    contact.contactHomepage = state.keep(std::string_view(draft.homepage));
    contact.contactCompany = state.intern(draft.company);
    contact.contactBirthday = state.keep(std::string_view(draft.birthday));
    contact.contactNote = state.keep(std::string_view(draft.note));
    contact.contactAdress = state.keep(std::string_view(draft.address));
    return contact;
}

void completeContacts(ScanState& state, SourceDatabase& db, std::vector<ContactDraft>& drafts) {
    const auto pictures = picturesByRowid(state.contactImageArray);
    SqliteStatement values;
    const bool haveValues = !drafts.empty() && db.prepare(values, kMultiValueQuery);
    state.contactArray.reserve(state.contactArray.size() + drafts.size());
    for (ContactDraft& draft : drafts) {
        if (haveValues) {
            addMultiValues(db, values, draft);
        }
        KTContactNode& contact = state.contactArray.emplace_back(contactOf(state, draft));
        if (auto picture = pictures.find(draft.rowid); picture != pictures.end()) {
            if (const auto& bytes = picture->second->imageData) {
                contact.imageData = state.keep(std::string_view(*bytes));
            }
        }
    }
}

// What differs between a backup's address book and a Timeline's copy: where
// the database lies, and whether the scan reports its progress.
struct AddressBookSource {
    std::string database;
    bool reportsProgress = true;
};

Status readAddressBook(ScanState& state, const std::string& folder,
                       const AddressBookSource& source) {
    if (!BackupFileLocator::exists(source.database)) {
        return Status::notFound("contactDB is not exist");
    }
    SourceDatabase db(state, source.database);
    const Status pictures = readPictures(state, folder);
    std::vector<ContactDraft> drafts = readPersons(db);
    completeContacts(state, db, drafts);
    if (source.reportsProgress) {
        state.reporter.progress(kProgressAfterContacts);
    }
    return db.status().ok() ? pictures : db.status();
}

}  // namespace

Status scanContactThread(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return Status();
    }
    return readAddressBook(
        state, folder,
        {BackupFileLocator::keyPath(folder, kAddressBookKey, state.biOS10version), true});
}

// A Timeline keeps its address book flat, whatever the layout of the backup
// it was made from; its scan has a progress scale of its own.
Status ScanTimelineBackupContactWithPath(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return Status();
    }
    return readAddressBook(state, folder,
                           {BackupFileLocator::keyPath(folder, kAddressBookKey, false), false});
}

}  // namespace vessamo
