#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vessamo::sample {

// One WhatsApp call as the app stores it. A group call has several
// participants; each becomes a participant row or an archive entry.
struct SampleCall {
    std::vector<std::string> participantJids;  // "491701234567@s.whatsapp.net"
    double date2001 = 0;                       // seconds since 2001-01-01 UTC
    int64_t duration = 0;                      // seconds; 0 when never connected
    int64_t outcome = 0;                       // the database's ZOUTCOME
    bool incoming = false;                     // what the archive stores instead
};

// The bytes of a CallHistory.sqlite shaped like the one of WhatsApp on
// iOS 15: every Core Data table and index, one aggregate event, one call
// event and one participant row per participant for each call. Empty when
// the database could not be made.
[[nodiscard]] std::string callHistoryDatabase(const std::vector<SampleCall>& calls);

// The bytes of a binary calls.log: an NSKeyedArchiver archive of an array
// holding, per participant of each call, the JID string followed by a
// dictionary with the call's "NS.time", "incoming" and "duration".
[[nodiscard]] std::string callLogArchive(const std::vector<SampleCall>& calls);

// count calls, the same for every run: one-to-one calls in both directions,
// missed and cancelled ones, and every fifth a group call of three.
[[nodiscard]] std::vector<SampleCall> sampleCalls(size_t count);

}  // namespace vessamo::sample
