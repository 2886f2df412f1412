#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sample/SampleBackupBuilder.h"

namespace vessamo::sample {

// One person of the phone's address book. Empty texts are stored as NULL,
// as the phone does for fields never filled in. Every member has an
// initializer so that designated initializers may name only a few.
struct SampleContact {
    int64_t rowid = 0;
    std::string first{}, middle{}, last{}, department{}, jobTitle{}, organization{}, note{},
        birthday{};
    std::vector<std::pair<int, std::string>> values{};  // ABMultiValue property, value
    std::optional<std::string> picture{};               // full-size picture bytes
};

// The address book's multi-value properties.
inline constexpr int kPhoneProperty = 3;
inline constexpr int kEmailProperty = 4;
inline constexpr int kAddressProperty = 5;
inline constexpr int kHomepageProperty = 22;

// The bytes of a real AddressBook.sqlitedb holding the contacts.
[[nodiscard]] std::string addressBookDatabase(const std::vector<SampleContact>& contacts);

// The bytes of a pictures database: ABFullSizeImage as iOS 5 and later
// keep it, or with mddataForm the ABImage table of the older ".mddata"
// file. One row per contact that has a picture.
[[nodiscard]] std::string addressBookImagesDatabase(const std::vector<SampleContact>& contacts,
                                                    bool mddataForm);

// An address book in write-ahead-log mode as a phone leaves it: the
// contacts of inDatabase checkpointed into the main file, those of onlyInLog
// committed to the log alone.
struct LoggedDatabase {
    std::string database;
    std::string wal;
};
[[nodiscard]] LoggedDatabase addressBookWithLog(const std::vector<SampleContact>& inDatabase,
                                                const std::vector<SampleContact>& onlyInLog);

// count varied, realistic contacts with rowids 1...count; the same every call.
[[nodiscard]] std::vector<SampleContact> sampleContacts(size_t count);

// Adds AddressBook.sqlitedb and, when a contact has a picture,
// AddressBookImages.sqlitedb to HomeDomain. The builder files both by its
// layout: flat in an Mbdb backup, two-level in a Manifest.db one. picturesFlat
// says which of the two the caller means the pictures to take; when it
// disagrees with the layout the pictures are left out, so a test never
// believes it covers one lookup while it exercises the other.
void addAddressBook(SampleBackupBuilder& builder, const std::vector<SampleContact>& contacts,
                    bool picturesFlat);

}  // namespace vessamo::sample
