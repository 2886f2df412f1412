#include "sample/SampleSources.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/PlistValue.h"
#include "results/BackupFileIndex.h"
#include "sample/SampleAddressBook.h"
#include "sample/SampleCallLog.h"
#include "sample/SampleChatStorage.h"
#include "sample/SampleImage.h"
#include "sample/SampleTarArchive.h"

namespace vessamo::sample {

namespace fs = std::filesystem;

namespace {

const std::string kShared(kWhatsAppGroupDomain);
const std::string kApp(kWhatsAppDomain);
const std::string kBusinessShared(kBusinessGroupDomain);

void addUnrelatedFiles(SampleBackupBuilder& builder) {
    PlistValue::Dictionary springboard;
    springboard["SBHomeScreenIconColumns"] = PlistValue::integer(4);
    auto bytes = PlistValue::dictionary(std::move(springboard)).toBinary();
    builder.addFile("HomeDomain", "Library/Preferences/com.apple.springboard.plist",
                    std::string(bytes.begin(), bytes.end()));
    builder.addFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG",
                    solidColourPng(8, 8, 200, 120, 40));
}

void addBusinessChats(SampleBackupBuilder& builder) {
    WhatsAppSampleOptions business;
    business.people = 2;
    business.chats = 1;
    business.groups = 0;
    business.messages = 3;
    std::string path = builder.temporaryFile("business.sqlite");
    if (writeChatStorage(path, makeWhatsAppSample(business).database)) {
        builder.addFileFromDisk(kBusinessShared, "ChatStorage.sqlite", path);
    }
}

void addCalls(SampleBackupBuilder& builder, const WhatsAppSample& sample, size_t count,
              bool oldLayout) {
    std::vector<SampleCall> calls = callsOf(sample, count);
    if (oldLayout) {
        builder.addFile(kApp, "Documents/calls.log", callLogArchive(calls));
    } else {
        builder.addFile(kShared, "CallHistory.sqlite", callHistoryDatabase(calls));
    }
}

}  // namespace

std::vector<SampleContact> addressBookOf(const WhatsAppSample& sample, size_t others) {
    std::vector<SampleContact> contacts;
    int64_t rowid = 1;
    for (const SamplePerson& person : sample.people) {
        if (!person.inAddressBook) {
            continue;
        }
        SampleContact contact;
        contact.rowid = rowid++;
        contact.first = person.first;
        contact.last = person.last;
        contact.values.emplace_back(kPhoneProperty, person.writtenNumber());
        if (contact.rowid % 3 == 1) {
            contact.values.emplace_back(kEmailProperty, person.first + "@example.org");
        }
        // Some people have a picture in the address book, as on a phone.
        if (contact.rowid % 4 == 2) {
            contact.picture =
                solidColourPng(96, 96, static_cast<uint8_t>(60 + 37 * contact.rowid), 140, 200);
        }
        contacts.push_back(std::move(contact));
    }
    for (SampleContact& other : sampleContacts(others)) {
        const bool known = std::any_of(contacts.begin(), contacts.end(), [&](const auto& c) {
            return c.first == other.first && c.middle == other.middle && c.last == other.last;
        });
        if (!known) {  // one card per name, as a real address book shows them
            other.rowid = rowid++;
            contacts.push_back(std::move(other));
        }
    }
    return contacts;
}

std::vector<SampleCall> callsOf(const WhatsAppSample& sample, size_t count) {
    std::vector<SampleCall> calls;
    for (size_t i = 0; i < count && !sample.people.empty(); ++i) {
        SampleCall call;
        call.participantJids.push_back(sample.people[i % sample.people.size()].jid());
        if (i % 4 == 3 && sample.people.size() > 2) {
            call.participantJids.push_back(sample.people[(i + 1) % sample.people.size()].jid());
        }
        call.date2001 = 636249600.0 + static_cast<double>(i) * 86400.5;
        call.outcome = static_cast<int64_t>(i % 2);
        call.incoming = i % 2 == 0;
        call.duration = i % 5 == 4 ? 0 : static_cast<int64_t>(30 + i * 97);
        calls.push_back(std::move(call));
    }
    return calls;
}

SampleBackupBuilder whatsAppBackup(CatalogueLayout layout, DeviceInfo device,
                                   const WhatsAppSampleOptions& options) {
    SampleBackupBuilder builder(layout, std::move(device));
    const bool oldLayout = layout == CatalogueLayout::Mbdb || options.oldLayout;
    builder.addDirectory(oldLayout ? kApp : kShared, "");
    const WhatsAppSample sample = makeWhatsAppSample(options);
    addWhatsApp(builder, sample, oldLayout, options.deleteEvery);
    addAddressBook(builder, addressBookOf(sample, options.otherContacts),
                   layout == CatalogueLayout::Mbdb);
    addCalls(builder, sample, options.calls, oldLayout);
    // Interrupted backups list files they never copied.
    builder.addCatalogueOnly(kShared,
                             "Message/Media/491701234567@s.whatsapp.net/a/b/"
                             "ab0e1f2a-0000-4000-8000-000000000001.jpg");
    if (layout == CatalogueLayout::ManifestDb) {
        addBusinessChats(builder);
    }
    addUnrelatedFiles(builder);
    return builder;
}

void addChatPictures(SampleBackupBuilder& builder, size_t count) {
    const std::string picture = solidColourPng(16, 16, 0x34, 0xB7, 0xF1);
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "/%x/%x/%08zx-5a1e-4c2d-9b7f-picture.jpg",
                      static_cast<unsigned>(i % 16), static_cast<unsigned>((i / 16) % 16), i);
        std::string chat =
            "Message/Media/4917" + std::to_string(10000000 + i % 50) + "@s.whatsapp.net";
        builder.addFile(kShared, chat + name, picture);
    }
}

std::string backupRootOf(const std::string& home) {
    return home + "/Library/Application Support/MobileSync/Backup";
}

std::optional<std::string> writeICloudAccount(const std::string& home, const std::string& account,
                                              const ICloudAccountOptions& options) {
    const std::string folder = home + "/Library/Mobile Documents/" + options.container +
                               "/Accounts/" + account + "/backup";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    if (options.backupPlist) {
        PlistValue::Dictionary backup;
        if (options.date) {
            backup["Date"] =
                PlistValue::date(PlistDate::fromUnixTime(static_cast<double>(*options.date)));
        }
        backup["BackupVersion"] = PlistValue::integer(1);
        if (!PlistValue::dictionary(std::move(backup)).writeBinaryFile(folder + "/Backup.plist")) {
            return std::nullopt;
        }
    }
    if (options.mediaTar) {
        // An account that has backed up no media yet: an empty archive.
        if (!SampleTarArchive().writeGzip(folder + "/Media.tar")) {
            return std::nullopt;
        }
    }
    return folder;
}

}  // namespace vessamo::sample
