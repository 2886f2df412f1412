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

// How a call's entries look in an archive.
struct CallArchiveShape {
    // Values of the call's dictionary: at least the 4 it needs ("NS.time",
    // "incoming", "duration", "$class"), padded with more of the kind the
    // app stores when larger.
    size_t values = 4;
    // When not 0, a dictionary of that many values with other data (a minute
    // later, 4242 seconds long, incoming) lies between the JID and the
    // call's own dictionary, as other records of the app do.
    size_t decoyValues = 0;
};

// The bytes of a binary calls.log: an NSKeyedArchiver archive of an array
// holding, per participant of each call, the JID string followed by a
// dictionary with the call's "NS.time", "incoming" and "duration". shapes[i],
// when given, shapes the entries of calls[i].
[[nodiscard]] std::string callLogArchive(const std::vector<SampleCall>& calls,
                                         const std::vector<CallArchiveShape>& shapes = {});

// count calls, the same for every run: one-to-one calls in both directions,
// missed and cancelled ones, and every fifth a group call of three.
[[nodiscard]] std::vector<SampleCall> sampleCalls(size_t count);

}  // namespace vessamo::sample
