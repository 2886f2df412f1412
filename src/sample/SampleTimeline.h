#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sample/SampleAddressBook.h"
#include "sample/SampleCallLog.h"
#include "sample/SampleChatStorage.h"
#include "sample/SampleWhatsApp.h"

namespace vessamo::sample {

struct TimelineSampleOptions {
    WhatsAppSampleOptions whatsApp{};
    size_t calls = 6;
    // Every third call gets a dictionary of 15 or 17 values (other data)
    // between its JID and its own 16-value entry.
    bool oddCallEntries = true;
    bool callLog = true;      // write calls.log
    bool addressBook = true;  // write the address book
    bool photo = true;        // write photo.jpg
};

// What a test can check a Timeline read against.
struct TimelineSample {
    std::string folder;
    WhatsAppSample whatsApp;
    std::vector<SampleContact> contacts;  // the address book
    std::vector<SampleStatus> statuses;   // the rows of ZWASTATUS, in order
    // The calls of calls.log, in archive order (a group call has one entry
    // per participant), and how each call's entries look there.
    std::vector<SampleCall> calls;
    std::vector<CallArchiveShape> callShapes;
    std::vector<std::string> files;  // relative path of every file written, sorted
    std::string photo;               // bytes of photo.jpg ("" when not written)
};

// Writes a Timeline backup folder the way the device route leaves it: the
// app archive, the profile photo, the preferences, Contacts.sqlite with the
// statuses, ChatStorage.sqlite, calls.log, the "Library/Media" tree of the
// chats' files and the address book under its file key. nullopt, with a
// reason in *error, when something could not be written.
[[nodiscard]] std::optional<TimelineSample> writeTimelineSample(
    const std::string& folder, const TimelineSampleOptions& options = {},
    std::string* error = nullptr);

// The bytes of an empty but valid zip archive.
[[nodiscard]] std::string emptyZipArchive();

}  // namespace vessamo::sample
