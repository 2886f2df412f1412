#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sample/SampleBackupBuilder.h"
#include "sample/SampleChatStorage.h"

namespace vessamo::sample {

// How much WhatsApp life a sample backup holds.
struct WhatsAppSampleOptions {
    size_t people = 10;      // WhatsApp users the owner talks to
    size_t addressBook = 7;  // how many of them the phone's address book knows
    size_t chats = 5;        // one-to-one chats
    size_t groups = 2;       // group chats
    size_t messages = 120;
    size_t mediaEvery = 6;  // every n-th message carries a file, card or place
    size_t calls = 12;
    size_t otherContacts = 3;  // address-book people without WhatsApp
    bool smallMedia = false;   // tiny pictures, for samples of many thousands
    size_t deleteEvery = 0;    // the user deleted every n-th message (0: none)
    bool oldLayout = false;    // the app-container layout of mbdb-era backups
    // WhatsApp's own rows: every chat opens with the encryption notice and
    // every group with its creation, as real chat databases do.
    bool systemRows = false;
};

struct SamplePerson {
    std::string number;  // international, no "+"
    std::string first;
    std::string last;
    std::string pushName;
    bool inAddressBook = false;
    bool savedNationally = false;  // the address book has it without country code

    [[nodiscard]] std::string jid() const { return number + "@s.whatsapp.net"; }
    // The number as people type it into an address book: "+49 170 1234567",
    // or "0170 1234567" for one saved without its country code.
    [[nodiscard]] std::string writtenNumber() const;
};

struct SampleMediaFile {
    std::string relativePath;  // inside WhatsApp's media folder, as the database stores it
    std::string content;
};

// A consistent little WhatsApp world: people, chats, messages and the files
// they share. Deterministic, so tests can predict every record.
struct WhatsAppSample {
    std::string ownerNumber = "491609876543";
    std::string ownerName = "Sample Owner";
    std::string ownerStatus = "Available";
    std::vector<SamplePerson> people;
    SampleChatDatabase database;
    std::vector<SampleMediaFile> mediaFiles;
};

[[nodiscard]] WhatsAppSample makeWhatsAppSample(const WhatsAppSampleOptions& options);

// Places the world into a backup where WhatsApp keeps it: chat and contacts
// databases, preferences and media of the shared container (or of the app
// container in the old layout). Address book and call history are added by
// their own builders.
void addWhatsApp(SampleBackupBuilder& builder, const WhatsAppSample& sample, bool oldLayout,
                 size_t deleteEvery = 0);

}  // namespace vessamo::sample
