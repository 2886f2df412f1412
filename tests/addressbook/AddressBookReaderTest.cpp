#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "addressbook/AddressBookReader.h"
#include "backup/BackupFileLocator.h"
#include "sample/SampleAddressBook.h"
#include "sample/SampleImage.h"
#include "support/TestSupport.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::SampleBackupBuilder;
using sample::SampleContact;
using Names = std::map<int32_t, std::string>;

const std::string kHome = "HomeDomain";
const std::string kBookPath = "Library/AddressBook/AddressBook.sqlitedb";
const std::string kImagesPath = "Library/AddressBook/AddressBookImages.sqlitedb";
const std::string kImagesKey = "cd6702cea29fe89cf280a76794405adb17f9a0ee";

// One run of the stage with a state of its own.
struct ContactScan : test::ScanRun {
    ContactScan(const std::string& folder, bool twoLevel) {
        state.biOS10version = twoLevel;
        status = scanContactThread(state, folder);
    }
    const KTContactNode& contact(int32_t rowid) const {
        for (const KTContactNode& node : state.contactArray) {
            if (node.rowid == rowid) {
                return node;
            }
        }
        static const KTContactNode none;
        ADD_FAILURE() << "no contact with rowid " << rowid;
        return none;
    }
    std::optional<std::string> picture(int32_t rowid) const {
        const auto& data = contact(rowid).imageData;
        return data ? std::optional<std::string>(*data) : std::nullopt;
    }
    Names names() const {
        Names names;
        for (const KTContactNode& node : state.contactArray) {
            names[node.rowid] = node.contactName;
        }
        return names;
    }

    Status status;
};

class AddressBookReader : public ::testing::Test {
protected:
    std::string write(const SampleBackupBuilder& builder) {
        fs::remove_all(folder);
        EXPECT_TRUE(builder.write(folder));
        return folder;
    }
    ContactScan scanBook(const std::vector<SampleContact>& contacts,
                         CatalogueLayout layout = CatalogueLayout::ManifestDb) {
        SampleBackupBuilder builder(layout);
        sample::addAddressBook(builder, contacts, layout == CatalogueLayout::Mbdb);
        write(builder);
        return ContactScan(folder, layout == CatalogueLayout::ManifestDb);
    }

    test::TempHome home;
    std::string folder = home.backupRoot() + "/device";
};

TEST_F(AddressBookReader, JoinsPartsWithOneBlankEachAndSortsMultiValuesIntoTheirFields) {
    ContactScan scan = scanBook({
        {.rowid = 1,
         .first = "Anna",
         .last = "Schmidt",
         .note = "Call after 6",
         .values = {{3, "+49 170 1234567"},
                    {1, "ignored"},
                    {3, "+49 30 123456"},
                    {4, "anna@example.de"},
                    {22, "https://anna.example"},
                    {5, "Hauptstraße 5"},
                    {2, "ignored"}}},
        {.rowid = 2, .last = "Smith", .birthday = "-315619200"},
        {.rowid = 3, .first = "John", .middle = "Paul", .last = "Jones"},
        {.rowid = 4,
         .middle = "Maria",
         .department = "Sales",
         .jobTitle = "Manager",
         .organization = "ACME"},
        {.rowid = 5, .organization = "Apple Inc.", .values = {{3, "+44 20 7946 0958"}}},
        {.rowid = 6, .first = "Ida", .jobTitle = "Engineer"},
    });

    EXPECT_TRUE(scan.status.ok());
    EXPECT_EQ(scan.names(), (Names{{1, "Anna Schmidt"},
                                   {2, " Smith"},
                                   {3, "John Paul Jones"},
                                   {4, " Maria"},
                                   {5, ""},
                                   {6, "Ida"}}));
    EXPECT_EQ(scan.contact(4).contactCompany, "Sales Manager ACME");
    EXPECT_EQ(scan.contact(5).contactCompany, " Apple Inc.");
    EXPECT_EQ(scan.contact(6).contactCompany, " Engineer");
    EXPECT_EQ(scan.contact(6).contactJobtitle, "");  // the title only feeds the company
    EXPECT_EQ(scan.contact(1).contactNote, "Call after 6");
    EXPECT_EQ(scan.contact(2).contactBirthday, "-315619200");

    const KTContactNode& anna = scan.contact(1);
    EXPECT_EQ(anna.contactPhone, " +49 170 1234567 +49 30 123456");
    EXPECT_EQ(anna.contactEmail, " anna@example.de");
    EXPECT_EQ(anna.contactHomepage, " https://anna.example");
    EXPECT_EQ(anna.contactAdress, " Hauptstraße 5");
    const KTContactNode& none = scan.contact(2);
    EXPECT_EQ(none.contactPhone + none.contactEmail + none.contactHomepage + none.contactAdress,
              "");
    EXPECT_EQ(scan.contact(5).contactPhone, " +44 20 7946 0958");
    EXPECT_EQ(scan.progress(), std::vector<int>{65});
}

TEST_F(AddressBookReader, SkipsEmptyTextsAndBlanksMalformedOnes) {
    SampleBackupBuilder builder;
    builder.addFile(
        kHome, kBookPath,
        test::afterSql(
            sample::addressBookDatabase(
                {{.rowid = 1, .first = "X", .last = "Smith", .values = {{3, "1"}, {3, "2"}}},
                 {.rowid = 2, .first = "Y", .last = "Doe"}}),
            "UPDATE ABPerson SET First = '', Note = '' WHERE ROWID = 1;"
            "UPDATE ABPerson SET First = CAST(X'C328' AS TEXT) WHERE ROWID = 2;"
            "UPDATE ABMultiValue SET value = '' WHERE value = '1';"));
    ContactScan scan(write(builder), true);

    EXPECT_EQ(scan.names(), (Names{{1, " Smith"}, {2, "  Doe"}}));
    EXPECT_EQ(scan.contact(1).contactNote, "");
    EXPECT_EQ(scan.contact(1).contactPhone, " 2");
}

TEST_F(AddressBookReader, RowidZeroKeepsTheUnsetRowidWhichPictureRowMinusOneMatches) {
    const std::vector<SampleContact> contacts = {
        {.rowid = 0, .first = "Zero"},
        {.rowid = 5, .picture = sample::solidColourPng(4, 4, 1, 2, 3)}};
    SampleBackupBuilder builder;
    builder.addFile(kHome, kBookPath, sample::addressBookDatabase(contacts));
    builder.addFile(
        kHome, kImagesPath,
        test::afterSql(sample::addressBookImagesDatabase(contacts, false),
                       "INSERT INTO ABFullSizeImage (record_id, data) VALUES (-1, 'minus');"));
    ContactScan scan(write(builder), true);

    EXPECT_EQ(scan.contact(-1).contactName, "Zero");
    EXPECT_EQ(scan.picture(-1), "minus");
    EXPECT_EQ(scan.picture(5), contacts[1].picture);
}

// Where the pictures are found: flat or two-level by layout, the flat file
// first even in a two-level backup, the oldest ".mddata" form (last row
// wins) last. A missing pictures file is not created by looking for it.
TEST_F(AddressBookReader, PicturesOfEveryLayoutAndForm) {
    const auto contacts = sample::sampleContacts(8);
    ASSERT_TRUE(contacts[5].picture);
    for (CatalogueLayout layout : {CatalogueLayout::ManifestDb, CatalogueLayout::Mbdb}) {
        const bool twoLevel = layout == CatalogueLayout::ManifestDb;
        SCOPED_TRACE(twoLevel ? "two-level" : "flat");
        ContactScan scan = scanBook(contacts, layout);
        ASSERT_TRUE(fs::exists(BackupFileLocator::keyPath(folder, kImagesKey, twoLevel)));
        ASSERT_FALSE(fs::exists(BackupFileLocator::keyPath(folder, kImagesKey, !twoLevel)));
        ASSERT_EQ(scan.state.contactArray.size(), 8u);
        EXPECT_EQ(scan.state.contactImageArray.size(), 1u);
        for (const SampleContact& sample : contacts) {
            EXPECT_EQ(scan.picture(static_cast<int32_t>(sample.rowid)), sample.picture);
        }
    }

    SampleBackupBuilder twoLevelBook;
    sample::addAddressBook(twoLevelBook, contacts, false);
    write(twoLevelBook);
    auto flatFirst = contacts;
    flatFirst[5].picture = "flat picture";
    test::writeFile(folder + "/" + kImagesKey, sample::addressBookImagesDatabase(flatFirst, false));
    EXPECT_EQ(ContactScan(folder, true).picture(6), "flat picture");

    SampleBackupBuilder old(CatalogueLayout::Mbdb);
    old.addFile(kHome, kBookPath, sample::addressBookDatabase(contacts));
    write(old);
    const auto withoutPictures = test::treeDigest(folder);
    ContactScan none(folder, false);
    EXPECT_EQ(test::treeDigest(folder), withoutPictures);
    EXPECT_EQ(none.state.contactArray.size(), 8u);
    EXPECT_TRUE(none.state.contactImageArray.empty());
    EXPECT_FALSE(none.picture(6));

    test::writeFile(
        folder + "/" + kImagesKey + ".mddata",
        test::afterSql(sample::addressBookImagesDatabase(contacts, true),
                       "INSERT INTO ABImage (record_id, format, data) VALUES (6, 1, 'later');"));
    ContactScan mddata(folder, false);
    EXPECT_EQ(mddata.state.contactImageArray.size(), 2u);
    EXPECT_EQ(mddata.picture(6), "later");
    EXPECT_FALSE(mddata.picture(1));
}

TEST_F(AddressBookReader, FindsContactsThatLiveOnlyInTheLogAndLeavesTheBackupAlone) {
    const auto logged = sample::addressBookWithLog({{.rowid = 1, .first = "Anna"}},
                                                   {{.rowid = 2, .first = "Logged"}});
    ASSERT_FALSE(logged.wal.empty());
    ASSERT_EQ(SampleBackupBuilder::fileKey(kHome, kBookPath + "-wal"),
              "a9aaf31e300bbb71f1602c65e27a29a6c85f98f8");
    for (CatalogueLayout layout : {CatalogueLayout::ManifestDb, CatalogueLayout::Mbdb}) {
        for (bool withLog : {true, false}) {
            SampleBackupBuilder builder(layout);
            builder.addFile(kHome, kBookPath, logged.database);
            if (withLog) {
                builder.addFile(kHome, kBookPath + "-wal", logged.wal);
            }
            write(builder);
            const auto before = test::treeDigest(folder);

            ContactScan scan(folder, layout == CatalogueLayout::ManifestDb);
            EXPECT_EQ(scan.names(),
                      withLog ? (Names{{1, "Anna"}, {2, "Logged"}}) : (Names{{1, "Anna"}}));
            EXPECT_EQ(test::treeDigest(folder), before);  // no byte changed, no file added
        }
    }
}

// A missing address book is notFound and reports nothing; one that is no
// database is damaged, an empty file only empty; both still report progress.
TEST_F(AddressBookReader, MissingDamagedAndEmptyAddressBooks) {
    SampleBackupBuilder flat(CatalogueLayout::Mbdb);
    sample::addAddressBook(flat, sample::sampleContacts(3), true);
    write(flat);
    ContactScan twoLevel(folder, true);  // the layout flag decides where to look
    EXPECT_EQ(twoLevel.status, Status::notFound("contactDB is not exist"));
    EXPECT_TRUE(twoLevel.progress().empty());
    EXPECT_TRUE(twoLevel.state.contactArray.empty());
    EXPECT_TRUE(ContactScan("", false).status.ok());

    for (const auto& [bytes, code] : {std::pair{std::string(5000, '\x5a'), StatusCode::corrupt},
                                      std::pair{std::string(), StatusCode::ok}}) {
        SampleBackupBuilder builder;
        builder.addFile(kHome, kBookPath, bytes);
        builder.addFile(kHome, kImagesPath, bytes);
        ContactScan scan(write(builder), true);
        EXPECT_EQ(scan.status.code(), code) << scan.status.toString();
        EXPECT_TRUE(scan.state.contactArray.empty());
        EXPECT_TRUE(scan.state.contactImageArray.empty());
        EXPECT_EQ(scan.progress(), std::vector<int>{65});
    }
}

// Real devices' files, put into a sample backup under their keys. The
// expected names come from SQL run on separate plain copies, so they do
// not share the reader's code; the data set itself is only ever copied.
class AddressBookRealData : public AddressBookReader {
protected:
    void load(const std::string& device, CatalogueLayout layout, bool withLogs = true) {
        SampleBackupBuilder builder(layout);
        for (std::string path : {kBookPath, kImagesPath}) {
            for (const std::string& suffix : {std::string(), std::string("-wal")}) {
                const std::string name = fs::path(path).filename().string() + suffix;
                if (test::hasRealData(device + "/" + name) && (withLogs || suffix.empty())) {
                    const std::string copy = test::copyOfRealData(device + "/" + name, copies);
                    builder.addFile(kHome, path + suffix, test::readFile(copy));
                }
            }
        }
        write(builder);
    }
    Names namesByQuery() {
        Names names;
        for (const auto& row :
             test::queryRows(copies + "/AddressBook.sqlitedb",
                             "select ROWID, coalesce(First, '') || "
                             "coalesce(' ' || nullif(Middle, ''), '') || "
                             "coalesce(' ' || nullif(Last, ''), '') from ABPerson")) {
            names[std::stoi(row[0])] = row[1];
        }
        return names;
    }

    std::string copies = home.path() + "/copies";
};

TEST_F(AddressBookRealData, JoshIos15ContactsValuesAndPictures) {
    load("josh_ios15", CatalogueLayout::ManifestDb);
    const std::string imagesLog = BackupFileLocator::fileKey(kHome, kImagesPath + "-wal");
    ASSERT_TRUE(fs::exists(BackupFileLocator::keyPath(folder, imagesLog, true)));
    const auto before = test::treeDigest(folder);
    ContactScan scan(folder, true);

    EXPECT_EQ(scan.names(), namesByQuery());
    EXPECT_EQ(scan.names().size(), 9u);
    EXPECT_EQ(scan.contact(7).contactName, "Josh Hickman");
    EXPECT_EQ(scan.contact(7).contactPhone, " (919) 579-0479 (919) 391-2507");
    EXPECT_EQ(scan.contact(7).contactEmail, " joshuahickman957@gmail.com");
    EXPECT_EQ(scan.contact(2).contactCompany, " Apple Inc.");
    EXPECT_EQ(scan.contact(2).contactHomepage, " http://www.apple.com");
    EXPECT_EQ(scan.contact(2).contactAdress, "");  // the address itself lives in other tables

    const auto sizes = test::queryRows(copies + "/AddressBookImages.sqlitedb",
                                       "select record_id, length(data) from ABFullSizeImage");
    ASSERT_EQ(sizes.size(), 2u);  // the pictures are only in the log
    EXPECT_EQ(scan.state.contactImageArray.size(), 2u);
    for (const auto& row : sizes) {
        ASSERT_TRUE(scan.picture(std::stoi(row[0])));
        EXPECT_EQ(std::to_string(scan.picture(std::stoi(row[0]))->size()), row[1]);
    }
    EXPECT_EQ(scan.picture(3)->substr(0, 4), "\x89PNG");
    EXPECT_EQ(scan.picture(4)->substr(0, 3), "\xFF\xD8\xFF");
    EXPECT_FALSE(scan.picture(7));
    EXPECT_EQ(test::treeDigest(folder), before);
}

TEST_F(AddressBookRealData, BelkaCtf6KeepsItsOnlyContactInTheLog) {
    load("belkactf6", CatalogueLayout::ManifestDb);
    ContactScan scan(folder, true);
    EXPECT_EQ(scan.names(), namesByQuery());
    EXPECT_EQ(scan.names(), (Names{{1, "William Phorger"}}));
    EXPECT_EQ(scan.contact(1).contactEmail, " billthemegakill@icloud.com");
    EXPECT_TRUE(scan.state.contactImageArray.empty());  // its pictures table is empty

    load("belkactf6", CatalogueLayout::ManifestDb, false);
    ContactScan withoutLog(folder, true);  // the main file has no person table yet
    EXPECT_TRUE(withoutLog.status.ok());
    EXPECT_TRUE(withoutLog.state.contactArray.empty());
    EXPECT_EQ(withoutLog.progress(), std::vector<int>{65});
}

TEST_F(AddressBookRealData, NationalGalleryIos5InAFlatBackup) {
    load("national_gallery_ios5", CatalogueLayout::Mbdb);
    ContactScan scan(folder, false);
    // Its older person table still has every column the reader asks for.
    EXPECT_EQ(scan.names(), namesByQuery());
    EXPECT_EQ(scan.names().size(), 6u);
    EXPECT_EQ(scan.contact(1).contactName, "Pat TeeSumTwelve");
    EXPECT_EQ(scan.contact(1).contactEmail, " patsumtwelve@gmail.com");
    EXPECT_EQ(scan.contact(3).contactCompany, " Apple Inc.");
    EXPECT_EQ(scan.contact(4).contactPhone, " +17038296071");
    EXPECT_TRUE(scan.state.contactImageArray.empty());
}

}  // namespace
}  // namespace vessamo
