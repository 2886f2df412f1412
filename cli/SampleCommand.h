#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace vessamo::cli {

struct SampleOptions {
    std::string folder;
    std::string layout;  // "db", "mbdb" or "" to follow the iOS version
    std::string iosVersion = "15.3.1";
    std::string name = "Vessamo Sample iPhone";
    size_t extraMedia = 0;
    // WhatsApp messages of a large sample shaped like the benchmark's, its
    // people, chats, groups, calls and media scaled with it; 0 for the
    // small everyday sample.
    size_t messages = 0;
    // "itunes" (a device backup), "icloud" (an iCloud Drive WhatsApp account
    // below DIR as a user folder) or "timeline" (a Timeline backup folder).
    std::string kind = "itunes";
    // Keep the files of one chat media message in this many, the others
    // catalogued without their data, as offloaded media are; 0 or 1 keeps all.
    size_t keepMediaEvery = 0;
    // When set, the backup is encrypted with the password this file holds;
    // passwordRounds is its PBKDF2-HMAC-SHA256 count (iOS uses 10,000,000).
    std::string passwordFile;
    uint32_t passwordRounds = 10'000'000;
};

// `vessamo-cli sample`: writes a sample backup into a new or empty folder.
int runSample(const SampleOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
