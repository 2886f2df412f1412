#include "sample/SampleAddressBook.h"

#include <array>
#include <fstream>
#include <functional>
#include <iterator>

#include "common/ScratchFolder.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleImage.h"

namespace vessamo::sample {

namespace {

const std::string kHome = "HomeDomain";
const std::string kAddressBookPath = "Library/AddressBook/AddressBook.sqlitedb";
const std::string kImagesPath = "Library/AddressBook/AddressBookImages.sqlitedb";

// The address book tables as iOS 5 to 8 create them; later versions only
// add columns at the end, which no reader depends on.
constexpr const char* kAddressBookSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "INSERT INTO _SqliteDatabaseProperties VALUES ('__CPRecordSequenceNumber', '1');"
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, "
    "Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, "
    "Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, "
    "Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, "
    "ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, "
    "ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT, "
    "ExternalRepresentation BLOB, FirstSortSection TEXT, LastSortSection TEXT, "
    "FirstSortLanguageIndex INTEGER DEFAULT 2147483647, "
    "LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1, "
    "ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1);"
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
    "identifier INTEGER, label INTEGER, value TEXT);"
    "CREATE INDEX ABMultiValueRecordIDIndex on ABMultiValue(record_id);"
    "CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));"
    "INSERT INTO ABMultiValueLabel VALUES ('_$!<Mobile>!$_'), ('_$!<Home>!$_'), "
    "('_$!<Work>!$_'), ('_$!<HomePage>!$_');";

constexpr int64_t kMobileLabel = 1;
constexpr int64_t kHomeLabel = 2;
constexpr int64_t kWorkLabel = 3;
constexpr int64_t kHomePageLabel = 4;

constexpr const char* kFullSizeImageSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE ABFullSizeImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, crop_x INTEGER, "
    "crop_y INTEGER, crop_width INTEGER, data BLOB);"
    "CREATE TABLE ABThumbnailImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, format "
    "INTEGER, derived_from_format INTEGER, data BLOB);";

constexpr const char* kOldImageSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE ABImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, format INTEGER, "
    "data BLOB);";

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool bindTextOrNull(SqliteStatement& statement, int index, const std::string& text) {
    int rc = text.empty() ? statement.bindNull(index) : statement.bind(index, text);
    return rc == SQLITE_OK;
}

bool insertPerson(SqliteStatement& insert, const SampleContact& contact) {
    const bool company = contact.first.empty() && contact.last.empty();
    const std::array<const std::string*, 8> texts = {
        &contact.first,      &contact.last, &contact.middle,   &contact.organization,
        &contact.department, &contact.note, &contact.birthday, &contact.jobTitle};
    bool ok = insert.reset() == SQLITE_OK && insert.bind(1, contact.rowid) == SQLITE_OK;
    for (size_t i = 0; ok && i < texts.size(); ++i) {
        ok = bindTextOrNull(insert, static_cast<int>(i) + 2, *texts[i]);
    }
    const int64_t created = 664000000 + contact.rowid * 3607;
    ok = ok && insert.bind(10, int64_t{company ? 1 : 0}) == SQLITE_OK &&
         insert.bind(11, created) == SQLITE_OK && insert.bind(12, created + 86400) == SQLITE_OK;
    return ok && insert.step() == SQLITE_DONE;
}

int64_t labelFor(int property, int phonesBefore) {
    switch (property) {
        case kPhoneProperty:
            return phonesBefore == 0 ? kMobileLabel : kHomeLabel;
        case kEmailProperty:
            return kHomeLabel;
        case kAddressProperty:
            return kWorkLabel;
        case kHomepageProperty:
            return kHomePageLabel;
        default:
            return 0;
    }
}

bool insertValues(SqliteStatement& insert, const SampleContact& contact) {
    int phones = 0;
    int64_t identifier = 0;
    for (const auto& [property, value] : contact.values) {
        const int64_t label = labelFor(property, phones);
        phones += property == kPhoneProperty ? 1 : 0;
        bool ok = insert.reset() == SQLITE_OK && insert.bind(1, contact.rowid) == SQLITE_OK &&
                  insert.bind(2, int64_t{property}) == SQLITE_OK &&
                  insert.bind(3, identifier++) == SQLITE_OK &&
                  (label == 0 ? insert.bindNull(4) : insert.bind(4, label)) == SQLITE_OK &&
                  bindTextOrNull(insert, 5, value);
        if (!ok || insert.step() != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

bool fillAddressBook(SqliteDatabase& db, const std::vector<SampleContact>& contacts) {
    SqliteStatement person;
    SqliteStatement value;
    if (person.prepare(db,
                       "INSERT INTO ABPerson (ROWID, First, Last, Middle, Organization, "
                       "Department, Note, Birthday, JobTitle, Kind, CreationDate, "
                       "ModificationDate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)") !=
            SQLITE_OK ||
        value.prepare(db,
                      "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) "
                      "VALUES (?, ?, ?, ?, ?)") != SQLITE_OK) {
        return false;
    }
    for (const SampleContact& contact : contacts) {
        if (!insertPerson(person, contact) || !insertValues(value, contact)) {
            return false;
        }
    }
    return true;
}

bool fillImages(SqliteDatabase& db, const std::vector<SampleContact>& contacts, bool mddataForm) {
    SqliteStatement insert;
    const char* sql = mddataForm
                          ? "INSERT INTO ABImage (record_id, format, data) VALUES (?, 0, ?)"
                          : "INSERT INTO ABFullSizeImage (record_id, crop_x, crop_y, crop_width, "
                            "data) VALUES (?, 0, 0, 320, ?)";
    if (insert.prepare(db, sql) != SQLITE_OK) {
        return false;
    }
    for (const SampleContact& contact : contacts) {
        if (!contact.picture) {
            continue;
        }
        const std::string& bytes = *contact.picture;
        if (insert.reset() != SQLITE_OK || insert.bind(1, contact.rowid) != SQLITE_OK ||
            insert.bindBlob(2, bytes.data(), bytes.size()) != SQLITE_OK ||
            insert.step() != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

// The bytes of a fresh database that fill() wrote; empty when anything failed.
std::string databaseBytes(const std::function<bool(SqliteDatabase&)>& fill) {
    auto scratch = ScratchFolder::create("vessamo-sample");
    if (!scratch) {
        return {};
    }
    const std::string path = scratch->uniquePath("sample.sqlitedb");
    {
        SqliteDatabase db;
        if (db.open(path, SqliteDatabase::Mode::Create) != SQLITE_OK ||
            db.execute("PRAGMA synchronous=OFF;") != SQLITE_OK || !fill(db)) {
            return {};
        }
    }
    return readBytes(path);
}

// Hand-picked people covering the shapes a real address book holds.
std::vector<SampleContact> namedContacts() {
    std::vector<SampleContact> people(8);
    people[0].first = "Anna";
    people[0].last = "Schmidt";
    people[0].values = {{kPhoneProperty, "+49 170 1234567"},
                        {kPhoneProperty, "+49 30 123456"},
                        {kEmailProperty, "anna.schmidt@example.de"}};
    people[1].first = "John";
    people[1].middle = "Paul";
    people[1].last = "Jones";
    people[1].jobTitle = "Architect";
    people[1].organization = "Jones & Partners";
    people[1].values = {{kPhoneProperty, "+1 (415) 555-0132"},
                        {kEmailProperty, "jpj@jones-partners.example.com"},
                        {kHomepageProperty, "https://jones-partners.example.com"}};
    people[2].last = "Smith";
    people[2].values = {{kPhoneProperty, "+44 20 7946 0958"}};
    people[3].first = "Mehmet";
    people[3].last = "Yılmaz";
    people[3].department = "Einkauf";
    people[3].jobTitle = "Einkäufer";
    people[3].organization = "Müller GmbH";
    people[3].values = {{kPhoneProperty, "+90 532 123 45 67"},
                        {kPhoneProperty, "+49 (0)89 2361-4410"}};
    people[4].organization = "Stadtwerke Köln";
    people[4].values = {{kPhoneProperty, "+49 221 178-0"},
                        {kHomepageProperty, "https://stadtwerke.example.de"}};
    people[5].first = "Sophie";
    people[5].last = "Martin";
    people[5].note = "Met at the Lyon conference";
    people[5].birthday = "-315619200";
    people[5].values = {{kPhoneProperty, "+33 1 42 68 53 00"}};
    people[5].picture = solidColourPng(120, 120, 0xC0, 0x39, 0x2B);
    people[6].first = "Lars";
    people[6].last = "Müller";
    people[6].values = {{kPhoneProperty, "0171 9876543"},
                        {kEmailProperty, "lars.mueller@example.de"},
                        {kAddressProperty, "Hauptstraße 5, 10115 Berlin"}};
    people[7].first = "Yuki";
    people[7].last = "Tanaka";
    people[7].values = {{kPhoneProperty, "+81 3-1234-5678"}};
    return people;
}

// Further people for large samples, each with a distinct mobile number.
SampleContact generatedContact(size_t index) {
    static const std::array<const char*, 6> firsts = {"Jonas", "Mia",   "Paul",
                                                      "Lea",   "Elias", "Emma"};
    static const std::array<const char*, 5> lasts = {"Becker", "Wagner", "Hoffmann", "Koch",
                                                     "Richter"};
    SampleContact contact;
    contact.first = firsts[index % firsts.size()];
    contact.last = lasts[(index / firsts.size()) % lasts.size()];
    const std::string digits = std::to_string(1000000 + index * 7919 % 9000000);
    contact.values = {{kPhoneProperty, "+49 151 " + digits.substr(0, 3) + " " + digits.substr(3)}};
    return contact;
}

}  // namespace

std::string addressBookDatabase(const std::vector<SampleContact>& contacts) {
    return databaseBytes([&](SqliteDatabase& db) {
        return db.execute(kAddressBookSchema) == SQLITE_OK && fillAddressBook(db, contacts);
    });
}

std::string addressBookImagesDatabase(const std::vector<SampleContact>& contacts, bool mddataForm) {
    return databaseBytes([&](SqliteDatabase& db) {
        return db.execute(mddataForm ? kOldImageSchema : kFullSizeImageSchema) == SQLITE_OK &&
               fillImages(db, contacts, mddataForm);
    });
}

LoggedDatabase addressBookWithLog(const std::vector<SampleContact>& inDatabase,
                                  const std::vector<SampleContact>& onlyInLog) {
    auto scratch = ScratchFolder::create("vessamo-sample");
    if (!scratch) {
        return {};
    }
    const std::string path = scratch->uniquePath("AddressBook.sqlitedb");
    SqliteDatabase db;
    if (db.open(path, SqliteDatabase::Mode::Create) != SQLITE_OK ||
        db.execute("PRAGMA synchronous=OFF; PRAGMA journal_mode=WAL; "
                   "PRAGMA wal_autocheckpoint=0;") != SQLITE_OK ||
        db.execute(kAddressBookSchema) != SQLITE_OK || !fillAddressBook(db, inDatabase) ||
        db.execute("PRAGMA wal_checkpoint(TRUNCATE);") != SQLITE_OK ||
        !fillAddressBook(db, onlyInLog)) {
        return {};
    }
    // Read while the connection lives: closing it would checkpoint the log
    // into the main file and delete it.
    return LoggedDatabase{readBytes(path), readBytes(path + "-wal")};
}

std::vector<SampleContact> sampleContacts(size_t count) {
    std::vector<SampleContact> all = namedContacts();
    for (size_t i = all.size(); i < count; ++i) {
        all.push_back(generatedContact(i));
    }
    all.resize(count);
    for (size_t i = 0; i < all.size(); ++i) {
        all[i].rowid = static_cast<int64_t>(i) + 1;
    }
    return all;
}

void addAddressBook(SampleBackupBuilder& builder, const std::vector<SampleContact>& contacts,
                    bool picturesFlat) {
    builder.addFile(kHome, kAddressBookPath, addressBookDatabase(contacts));
    const bool layoutFlat = builder.layout() == CatalogueLayout::Mbdb;
    bool anyPicture = false;
    for (const SampleContact& contact : contacts) {
        anyPicture = anyPicture || contact.picture.has_value();
    }
    if (anyPicture && picturesFlat == layoutFlat) {
        builder.addFile(kHome, kImagesPath, addressBookImagesDatabase(contacts, false));
    }
}

}  // namespace vessamo::sample
