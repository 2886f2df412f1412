#include "whatsapp/CallLogReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "backup/SourceDatabase.h"
#include "carving/DisplayConversions.h"
#include "common/Files.h"
#include "common/PlistValue.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"
#include "common/WhatsAppIds.h"
#include "whatsapp/ContactLookups.h"

namespace vessamo {

namespace {

// CallHistory.sqlite of the app's shared container.
constexpr std::string_view kCallHistoryKey = "1b432994e958845fffe8e2f190f26d1511534088";
// calls.log and calls.backup.log of the shared container, then
// Documents/calls.backup.log of the app's own domain.
constexpr std::array<std::string_view, 3> kCallArchiveKeys = {
    "8c8d5e73e785f7253e060cfe9ffcf8b8d424a299",
    "a6a66aff378ee034ade25bd3885408a0488469cc",
    "3365e08e6af5c06387185ddcf694b6426d49e0ef",
};
// Documents/calls.log of the app's own domain: all that backups from before
// the shared container have.
constexpr std::string_view kAppCallLogKey = "21ae65d600415978a2e08e7969270e078247c1b5";

// The join pairs participants with events through their shared key, so a
// group call gives one row per participant, each with the call's date.
constexpr std::string_view kCallQuery =
    "select "
    "ZWACDCALLEVENTPARTICIPANT.ZJIDSTRING,ZWACDCALLEVENT.ZDATE,ZWACDCALLEVENT.ZDURATION,"
    "ZWACDCALLEVENT.ZOUTCOME from ZWACDCALLEVENTPARTICIPANT left join ZWACDCALLEVENT on "
    "ZWACDCALLEVENTPARTICIPANT.Z1PARTICIPANTS=ZWACDCALLEVENT.Z1CALLEVENTS order by "
    "ZWACDCALLEVENT.ZDATE desc";

// A keyed archive may keep a value behind a UID instead of inline. The bound
// allows a short chain of them and ends reference cycles in damaged archives.
constexpr int kMaxUidHops = 4;

struct CallFile {
    std::string path;
    bool isDatabase = false;
};

std::string twoLevelPath(const std::string& folder, std::string_view key) {
    return BackupFileLocator::keyPath(folder, key, true);
}

// The first archive that exists. The last one is taken unchecked: whoever
// reads it copes with a missing file.
std::string callArchivePath(const std::string& folder) {
    for (size_t i = 0; i + 1 < kCallArchiveKeys.size(); ++i) {
        std::string path = twoLevelPath(folder, kCallArchiveKeys[i]);
        if (BackupFileLocator::exists(path)) {
            return path;
        }
    }
    return twoLevelPath(folder, kCallArchiveKeys.back());
}

std::optional<CallFile> chooseCallFile(const ScanState& state, const std::string& folder) {
    CallFile file;
    if (state.biOS10version) {
        file.path = twoLevelPath(folder, kCallHistoryKey);
        file.isDatabase = BackupFileLocator::exists(file.path);
        if (!file.isDatabase) {
            file.path = callArchivePath(folder);
        }
    } else {
        file.path = twoLevelPath(folder, kAppCallLogKey);
    }
    if (BackupFileLocator::exists(file.path)) {
        return file;
    }
    // Last resorts: the app's own call log where flat backups keep it, then
    // whatever file the index took for the chat database.
    std::vector<std::string> fallbacks{BackupFileLocator::keyPath(folder, kAppCallLogKey, false)};
    if (!state.index.whatsAppChatPath.empty()) {
        fallbacks.push_back(folder + "/" + state.index.whatsAppChatPath);
    }
    for (std::string& path : fallbacks) {
        if (BackupFileLocator::exists(path)) {
            return CallFile{std::move(path), false};
        }
    }
    return std::nullopt;
}

// Whole seconds toward zero. Out-of-range values saturate, as in SQLite's
// own conversion, so a damaged date shows blank instead of being undefined.
std::optional<AppleTime> callTime(double seconds2001) {
    if (std::isnan(seconds2001)) {
        return std::nullopt;
    }
    const double limit = std::ldexp(1.0, 63);
    if (seconds2001 >= limit) {
        return AppleTime{std::numeric_limits<int64_t>::max()};
    }
    if (seconds2001 < -limit) {
        return AppleTime{std::numeric_limits<int64_t>::min()};
    }
    return AppleTime{static_cast<int64_t>(seconds2001)};
}

// A call without length never connected: the caller gave up, or it was missed.
Text durationText(ScanState& state, int32_t seconds, bool outgoing, Text cancelled, Text missed) {
    if (seconds != 0) {
        return state.intern(getCallHistoryDuration(seconds));
    }
    return outgoing ? cancelled : missed;
}

// ---------------------------------------------------------------------------
// CallHistory.sqlite

bool hasValue(const SqliteStatement& row, int column) {
    std::optional<std::string> text = row.columnText(column);
    return text && !text->empty();
}

// The address book's name, else WhatsApp's own. The call archives keep
// their older match of the address book by a middle slice of the number
// last, so no name they found before is lost; the database's calls need
// the whole number. Empty when nobody knows the number: the call shows the
// number itself.
enum class SliceMatch { No, Last };

Text callNameOf(ScanState& state, ContactLookups& lookups, std::string_view phone,
                SliceMatch slice) {
    if (phone.empty()) {
        return Text();
    }
    if (auto name = lookups.getNameByPhoneNumber(phone)) {
        return state.intern(*name);
    }
    if (auto name = lookups.whatsAppNameOf(phone)) {
        return *name;
    }
    return slice == SliceMatch::Last
               ? lookups.getContactNameByWhatsAppNumber(phone).value_or(Text())
               : Text();
}

KTCallHistoryNode callFromRow(ScanState& state, const SqliteStatement& row,
                              ContactLookups& lookups) {
    KTCallHistoryNode call;
    const std::string jid = GetStringFormChar(row.columnText(0));
    if (jid != " ") {
        const std::string phone = whatsAppNumber(jid);
        call.callPhone = state.intern(phone);
        call.callName = callNameOf(state, lookups, phone, SliceMatch::No);
    }
    if (hasValue(row, 1)) {
        call.doubledatestamp = row.columnDouble(1);
        call.callDate = callTime(call.doubledatestamp);
    }
    if (hasValue(row, 2)) {
        // Durations are stored as fractional seconds; whole ones are shown.
        call.callTime = static_cast<int32_t>(row.columnInt64(2));
    }
    if (hasValue(row, 3)) {
        call.callType = row.columnInt64(3) < 1 ? Text("Incoming") : Text("Outgoing");
    }
    call.callDuration =
        durationText(state, call.callTime, call.callType == "Outgoing", "Cancelled", "Missed");
    return call;
}

// How many calls were added, and whether the database said it is damaged.
struct DatabaseCalls {
    size_t added = 0;
    Status status;
};

DatabaseCalls readCallDatabase(ScanState& state, const std::string& source,
                               ContactLookups& lookups) {
    DatabaseCalls calls;
    SourceDatabase db(state, source);
    SqliteStatement row;
    if (!db.prepare(row, kCallQuery)) {
        if (db.status().ok()) {
            SystemLog::write("Cannot read the call history: " + db.db().lastError());
        }
        calls.status = db.status();
        return calls;
    }
    while (!state.stopRequested() && db.step(row)) {
        state.wpCallArray.push_back(callFromRow(state, row, lookups));
        ++calls.added;
    }
    calls.status = db.status();
    return calls;
}

// ---------------------------------------------------------------------------
// calls.log

// The value itself, or what its UIDs lead to; nullptr when a reference
// leads nowhere or the chain is too long.
const PlistValue* resolved(const PlistValue* value, const PlistValue::Array& objects) {
    for (int hop = 0; value != nullptr && hop < kMaxUidHops; ++hop) {
        std::optional<uint64_t> uid = value->asUid();
        if (!uid) {
            return value;
        }
        value = *uid < objects.size() ? &objects[*uid] : nullptr;
    }
    return value != nullptr && !value->asUid() ? value : nullptr;
}

// An archived NSDate keeps its moment under "NS.time".
std::optional<double> timeOf(const PlistValue& object, const PlistValue::Array& objects) {
    const PlistValue* time = resolved(object.find("NS.time"), objects);
    if (time == nullptr) {
        return std::nullopt;
    }
    if (std::optional<PlistDate> date = time->asDate()) {
        return date->secondsSince2001;
    }
    return time->asReal();
}

bool isIncoming(const PlistValue& object, const PlistValue::Array& objects) {
    const PlistValue* incoming = resolved(object.find("incoming"), objects);
    return incoming != nullptr &&
           (incoming->asBoolean() == true || incoming->asInteger() == int64_t{1});
}

int64_t durationOf(const PlistValue& object, const PlistValue::Array& objects) {
    const PlistValue* duration = resolved(object.find("duration"), objects);
    return duration != nullptr ? duration->asInteger().value_or(0) : 0;
}

// A call seen before any date keeps no date rather than borrowing one from
// a later entry, which would put it at a moment it never had.
KTCallHistoryNode callFromArchive(ScanState& state, const PlistValue& object,
                                  const PlistValue::Array& objects, const std::string& jid,
                                  std::optional<double> lastDate, ContactLookups& lookups) {
    KTCallHistoryNode call;
    const std::string phone = whatsAppNumber(jid);
    call.callPhone = state.intern(phone);
    call.callName = callNameOf(state, lookups, phone, SliceMatch::Last);
    call.callType = isIncoming(object, objects) ? Text("Incoming Call") : Text("Outgoing Call");
    call.callDuration =
        durationText(state, static_cast<int32_t>(durationOf(object, objects)),
                     call.callType == "Outgoing Call", "Cancelled Call", "Missed Call");
    if (lastDate) {
        call.callDate = callTime(*lastDate);
    }
    return call;
}

// How a call-log archive is taken apart: which classes of parsed objects
// count as the strings that carry JIDs and as the dictionaries that carry
// calls and dates, and, when set, the exact number of values a dictionary
// must hold to become a call (others still give their date, and the JID
// stays pending for the next dictionary).
struct CallArchiveRules {
    std::vector<std::string_view> stringClasses;
    std::vector<std::string_view> dictionaryClasses;
    std::optional<size_t> callValueCount;
};

// The rules of a device backup's archive, and the stricter ones of the copy
// a Timeline backup keeps.
const CallArchiveRules& backupCallArchiveRules() {
    static const CallArchiveRules rules{
        {"__NSCFString", "NSCFString", "__NSCFStringI"},
        {"NSDictionary", "__NSCFDictionary", "NSCFDictionary", "__NSDictionaryI"},
        std::nullopt,
    };
    return rules;
}

const CallArchiveRules& timelineCallArchiveRules() {
    static const CallArchiveRules rules{{"__NSCFString"}, {"NSDictionary", "__NSCFDictionary"}, 16};
    return rules;
}

// The class a property list's object has once the phone's platform has
// parsed it: its strings and dictionaries come out as these bridged classes,
// whatever class the archive itself names.
std::string_view parsedClassName(const PlistValue& object) {
    if (object.asString() != nullptr) {
        return "__NSCFString";
    }
    if (object.asDictionary() != nullptr) {
        return "__NSCFDictionary";
    }
    return {};
}

bool named(std::string_view className, const std::vector<std::string_view>& names) {
    return !className.empty() && std::find(names.begin(), names.end(), className) != names.end();
}

// The archive lists each call's JID as a string just before the dictionary
// holding the call; dates come either inside that dictionary or in an
// archived NSDate ahead of it. Only the latest JID and date count.
// False when the file is there but no keyed archive.
bool walkCallArchive(ScanState& state, const PathWithin& path, const CallArchiveRules& rules,
                     ContactLookups& lookups) {
    std::optional<PlistValue> archive = PlistValue::fromFile(path);
    if (!archive || archive->asDictionary() == nullptr || archive->asDictionary()->empty()) {
        return !BackupFileLocator::exists(path.path);
    }
    const PlistValue* objectsValue = archive->find("$objects");
    const PlistValue::Array* objects = objectsValue ? objectsValue->asArray() : nullptr;
    if (objects == nullptr) {
        return false;
    }
    std::optional<std::string> pendingJid;
    std::optional<double> lastDate;
    for (const PlistValue& object : *objects) {
        if (state.stopRequested()) {
            return true;
        }
        const std::string_view className = parsedClassName(object);
        if (named(className, rules.stringClasses)) {
            if (containsCaseInsensitive(*object.asString(), kPersonSuffix)) {
                pendingJid = *object.asString();
            }
            continue;
        }
        if (!named(className, rules.dictionaryClasses)) {
            continue;
        }
        if (std::optional<double> when = timeOf(object, *objects)) {
            lastDate = when;
        }
        const bool makesCall =
            !rules.callValueCount || object.asDictionary()->size() == *rules.callValueCount;
        if (pendingJid && makesCall) {
            state.wpCallArray.push_back(
                callFromArchive(state, object, *objects, *pendingJid, lastDate, lookups));
            pendingJid.reset();
        }
    }
    return true;
}

// Whether a path is one of the call-log archives themselves, not a file the
// call stage falls back on.
bool isCallArchive(const std::string& path) {
    const std::string_view name = lastComponent(path);
    return name == kAppCallLogKey || std::find(kCallArchiveKeys.begin(), kCallArchiveKeys.end(),
                                               name) != kCallArchiveKeys.end();
}

}  // namespace

Status scanWhatsAppCalllogThread(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return Status();
    }
    std::optional<CallFile> file = chooseCallFile(state, folder);
    if (!file) {
        return Status::notFound("WhatsAppMessageDB is not exist");
    }
    ContactLookups lookups = lookupsOf(state);
    Status status;
    if (file->isDatabase) {
        DatabaseCalls calls = readCallDatabase(state, file->path, lookups);
        if (calls.added > 0) {
            return calls.status;
        }
        // An empty or unreadable database does not mean there were no calls:
        // the archive may still hold them.
        status = std::move(calls.status);
        file->path = callArchivePath(folder);
    }
    if (!walkCallArchive(state, {folder, file->path}, backupCallArchiveRules(), lookups) &&
        isCallArchive(file->path) && status.ok()) {
        status = Status::corrupt(state.nameOf(file->path) + " is damaged: it is no call archive");
    }
    return status;
}

void readTimelineCallArchive(ScanState& state, const PathWithin& path) {
    ContactLookups lookups = lookupsOf(state);
    (void)walkCallArchive(state, path, timelineCallArchiveRules(), lookups);
}

}  // namespace vessamo
