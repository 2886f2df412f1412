// Scores deleted-message recovery on chat databases with realistic
// deletions: a real phone's database (current table shape, write-ahead
// log) with thousands of messages added and single messages, runs of a
// chat's latest messages, a whole chat and a whole group deleted; the
// older 18-column shape from the sample builder; and the real database
// untouched, where nothing may come back. For the schema engine (the scan
// stage) and the pattern engine it prints recall of the deleted rows that
// physically survive, precision, live rows shown, garbage, right chat,
// direction, sender (against who wrote it) and date, the deleted chats
// shown as conversations, and throughput.
//   recovery_bench [messages] [real ChatStorage.sqlite] [seed]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "backup/BackupFileLocator.h"
#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/CarvingFile.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/DeletedMessageCarver.h"
#include "carving/SchemaCarver.h"
#include "common/ScratchFolder.h"
#include "common/SqliteDatabase.h"
#include "common/WhatsAppIds.h"
#include "results/ScanResult.h"
#include "sample/SampleDeletedMessages.h"
#include "sample/SampleRealSchemaTraffic.h"
#include "whatsapp/DeletedMessagesStage.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

constexpr const char* kChatKey = "7c7fba66680ef796b916b067077cc246adacf01d";

// A message by its stanza id where the case knows it, else by its text
// and whole second.
using Key = std::string;
struct Expected {
    int64_t chat = 0;
    bool sent = false;
    std::optional<std::string> sender;  // number; empty for the owner; unknown when nullopt
    int64_t seconds = 0;
    std::string text;
};
struct Truth {
    bool byStanza = false;
    std::string owner;  // number
    std::map<Key, Expected> deleted;
    std::map<Key, Expected> live;
    std::set<Key> surviving;
    std::set<int64_t> deletedChats;
    std::map<int64_t, std::string> deletedChatNames;  // where the case knows them
};

struct Recovered {
    Key key;
    int64_t chat;
    bool sent;
    std::string number;
    int64_t seconds;
    std::string text;
};

struct Reporter : ScanReporter {
    void recovered(const KTWhatsAppNode& m) override { shown.push_back(m); }
    std::vector<KTWhatsAppNode> shown;
};

Key textKey(std::string_view text, int64_t seconds) {
    return std::string(text) + "|" + std::to_string(seconds);
}

Recovered recoveredOf(const KTWhatsAppNode& m, bool byStanza) {
    const int64_t seconds = m.messageDate ? m.messageDate->seconds : -1;
    return {byStanza ? std::string(m.stanzaId) : textKey(m.messageContent, seconds),
            m.chatID,
            m.messageType == Direction::Send,
            std::string(m.messageNumb),
            seconds,
            std::string(m.messageContent)};
}

struct Tally {
    size_t right = 0, live = 0, garbage = 0, chat = 0, direction = 0, date = 0, text = 0, cut = 0;
    size_t senderKnown = 0, sender = 0;
    std::set<Key> hits;
};

// RECOVERY_BENCH_DETAILS=1 lists what was scored wrong.
void detail(const char* what, const Recovered& r, const Expected* e) {
    static const bool wanted = std::getenv("RECOVERY_BENCH_DETAILS") != nullptr;
    if (!wanted) {
        return;
    }
    std::printf("    %s: %s chat %lld %s from '%s' at %lld: %.60s", what, r.key.c_str(),
                static_cast<long long>(r.chat), r.sent ? "sent" : "received", r.number.c_str(),
                static_cast<long long>(r.seconds), r.text.c_str());
    if (e != nullptr) {
        std::printf("  [expected chat %lld %s from '%s' at %lld: %.60s]",
                    static_cast<long long>(e->chat), e->sent ? "sent" : "received",
                    e->sender.value_or("?").c_str(), static_cast<long long>(e->seconds),
                    e->text.c_str());
    }
    std::printf("\n");
}

Tally tally(const Truth& truth, const std::vector<Recovered>& found) {
    Tally t;
    for (const Recovered& r : found) {
        const auto d = truth.deleted.find(r.key);
        if (d == truth.deleted.end()) {
            const bool live = truth.live.contains(r.key);
            (live ? t.live : t.garbage) += 1;
            detail(live ? "live" : "garbage", r, nullptr);
            continue;
        }
        const Expected& e = d->second;
        ++t.right;
        t.hits.insert(r.key);
        t.direction += e.sent == r.sent ? 1 : 0;
        t.chat += e.chat == r.chat ? 1 : 0;
        t.date += e.seconds == r.seconds ? 1 : 0;
        // A row whose end was overwritten comes back with the start of its
        // text, marked cut: right as far as it goes.
        const bool start = r.text.size() < e.text.size() && e.text.starts_with(r.text);
        t.text += e.text == r.text || start ? 1 : 0;
        t.cut += start ? 1 : 0;
        if (e.sender) {
            ++t.senderKnown;
            const bool owner = e.sender->empty() && (r.number.empty() || r.number == truth.owner);
            const bool right = owner || (!e.sender->empty() && r.number == *e.sender);
            t.sender += right ? 1 : 0;
            if (!right) {
                detail("sender", r, &e);
            }
        }
        if ((e.text != r.text && !start) || e.chat != r.chat || e.sent != r.sent ||
            e.seconds != r.seconds) {
            detail("wrong", r, &e);
        }
    }
    return t;
}

double share(size_t part, size_t whole) {
    return whole == 0 ? 100.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

void score(const char* engine, const Truth& truth, const std::vector<Recovered>& found,
           double seconds, uint64_t bytes, std::optional<size_t> chatsShown) {
    const Tally t = tally(truth, found);
    size_t recalled = 0;
    for (const Key& key : truth.surviving) {
        recalled += t.hits.contains(key) ? 1 : 0;
    }
    std::printf(
        "  %-8s recall %6.2f %% (%zu/%zu)  precision %6.2f %%  live shown %zu  garbage %zu\n"
        "           chat %6.2f %%  direction %6.2f %%  sender %6.2f %%  date %6.2f %%  "
        "text %6.2f %% (%zu cut)  %.0f MiB/s%s",
        engine, share(recalled, truth.surviving.size()), recalled, truth.surviving.size(),
        share(t.right, found.size()), t.live, t.garbage, share(t.chat, t.right),
        share(t.direction, t.right), share(t.sender, t.senderKnown), share(t.date, t.right),
        share(t.text, t.right), t.cut, static_cast<double>(bytes) / 1048576.0 / seconds,
        t.senderKnown == 0 ? " (sender not known to this case)" : "");
    if (chatsShown) {
        std::printf("  deleted chats shown %zu/%zu", *chatsShown, truth.deletedChats.size());
    }
    std::printf("\n");
}

// The database with its log folded in, as the pattern engine needs it and
// as the scan makes its own private copy.
std::string foldedCopy(const ScratchFolder& scratch, const std::string& path,
                       const std::string& wal) {
    const std::string copy = scratch.path() + "/folded.sqlite";
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
    if (!wal.empty() && fs::exists(wal)) {
        fs::copy_file(wal, copy + "-wal", fs::copy_options::overwrite_existing);
    }
    SqliteDatabase db;
    if (db.open(copy, SqliteDatabase::Mode::ReadWrite) == SQLITE_OK) {
        (void)db.execute("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    return copy;
}

// Both engines over one backup folder holding the chat database (and its
// log, when there is one).
void runEngines(const Truth& truth, const std::string& folder, const ScratchFolder& scratch) {
    const std::string path = folder + "/" + kChatKey;
    const std::string wal = BackupFileLocator::writeAheadLogOf(path, {}).value_or("");
    const uint64_t bytes = fs::file_size(path) + (!wal.empty() ? fs::file_size(wal) : 0);

    Reporter reporter;
    ScanState state(reporter, {});
    auto start = std::chrono::steady_clock::now();
    if (!scanDeletedWhatsAppMessageThread(state, folder).ok()) {
        std::printf("  the scan stage failed\n");
        return;
    }
    const double stageSeconds = bench::secondsSince(start);
    std::vector<Recovered> bySchema;
    for (const KTWhatsAppNode& m : reporter.shown) {
        bySchema.push_back(recoveredOf(m, truth.byStanza));
    }
    for (const KTWhatsAppNode& m : state.wpChatArray) {
        bySchema.push_back(recoveredOf(m, truth.byStanza));
    }
    ScanResult result;
    state.intake.moveInto(result);
    size_t chatsShown = 0;
    for (const int32_t chat : result.deletedChats) {
        chatsShown += truth.deletedChats.contains(chat) ? 1 : 0;
    }
    score("schema", truth, bySchema, stageSeconds, bytes, chatsShown);
    for (const KTWhatsAppCovNode& conversation : result.whatsAppArray) {
        const auto name = truth.deletedChatNames.find(conversation.chatID);
        if (name != truth.deletedChatNames.end()) {
            std::printf("           deleted chat %d named \"%s\" (was \"%s\")\n",
                        conversation.chatID, std::string(conversation.currentChatName).c_str(),
                        name->second.c_str());
        }
    }

    const std::string folded = foldedCopy(scratch, path, wal);
    ChatDatabaseFacts facts = ChatDatabaseFacts::of(folded);
    const auto file = CarvingFile::open(folded);
    // Group authors as the stage names them for this engine's records too.
    const auto walFile = wal.empty() ? nullptr : CarvingFile::open(wal);
    const auto original = walFile ? CarvingFile::open(path) : nullptr;
    facts.recoverMembers(folded, *file, walFile.get(), original.get());
    TextStore texts;
    DeletedMessageCarver carver(CarverVariant::Backup, texts, {}, facts.context);
    std::vector<Recovered> byPatterns;
    std::set<int64_t> patternChats;
    start = std::chrono::steady_clock::now();
    carver.carve(*file, [&](const CarvedRecord& r) {
        if (r.stanzaId.empty() || !facts.liveMessages.hasStanza(r.stanzaId)) {
            byPatterns.push_back(recoveredOf(r.message, truth.byStanza));
            const auto* member = r.message.messageType == Direction::Receive
                                     ? facts.memberOf(r.groupMember, r.message.chatID)
                                     : nullptr;
            if (member != nullptr) {
                byPatterns.back().number = numberOfAddress(member->jid, false);
            }
            if (r.deletedChat) {
                patternChats.insert(r.message.chatID);
            }
        }
    });
    size_t patternChatsShown = 0;
    for (const int64_t chat : patternChats) {
        patternChatsShown += truth.deletedChats.contains(chat) ? 1 : 0;
    }
    score("patterns", truth, byPatterns, bench::secondsSince(start), fs::file_size(folded),
          patternChatsShown);
}

int runRealSchema(const std::string& source, size_t messages, uint32_t seed) {
    auto scratch = ScratchFolder::create("vessamo-recovery-bench");
    const std::string folder = scratch->path() + "/backup";
    fs::create_directories(folder);
    const std::string path = folder + "/" + kChatKey;
    const std::string wal =
        folder + "/" +
        BackupFileLocator::fileKey("AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
                                   "ChatStorage.sqlite-wal");
    sample::RealTrafficOptions options;
    options.messages = messages;
    options.singleDeletes = messages / 40;
    options.seed = seed;
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const auto traffic = sample::writeRealSchemaTraffic(source, path, wal, options, &error);
    if (!traffic) {
        std::fprintf(stderr, "cannot build the real-schema case: %s\n", error.c_str());
        return 1;
    }
    Truth truth;
    truth.byStanza = true;
    truth.owner = whatsAppNumber(traffic->ownerJid);
    const auto expectedOf = [](const sample::TrafficMessage& m) {
        return Expected{m.chat, m.fromMe, whatsAppNumber(m.senderJid),
                        static_cast<int64_t>(std::floor(m.date)), m.text};
    };
    size_t overflowing = 0;
    for (size_t i = 0; i < traffic->deleted.size(); ++i) {
        const auto& m = traffic->deleted[i];
        truth.deleted.emplace(m.stanzaId, expectedOf(m));
        if (traffic->survives[i]) {
            truth.surviving.insert(m.stanzaId);
            overflowing += m.overflows ? 1 : 0;
        }
    }
    for (const auto& m : traffic->live) {
        truth.live.emplace(m.stanzaId, expectedOf(m));
    }
    truth.deletedChats.insert(traffic->deletedChats.begin(), traffic->deletedChats.end());
    for (size_t i = 0; i < traffic->deletedChats.size(); ++i) {
        truth.deletedChatNames.emplace(traffic->deletedChats[i], traffic->deletedChatNames[i]);
    }
    std::printf(
        "real schema (josh_ios15 + %zu messages): %zu live, %zu deleted, %zu surviving "
        "(%zu too long for a page), %zu deleted chats, %.1f MiB + %.1f MiB log, built in %.1f s\n",
        messages, traffic->live.size(), traffic->deleted.size(), truth.surviving.size(),
        overflowing, truth.deletedChats.size(),
        static_cast<double>(fs::file_size(path)) / 1048576.0,
        static_cast<double>(fs::file_size(wal)) / 1048576.0, bench::secondsSince(start));
    runEngines(truth, folder, *scratch);
    return 0;
}

int runOlderShape(size_t messages) {
    auto scratch = ScratchFolder::create("vessamo-recovery-bench");
    const std::string folder = scratch->path() + "/backup";
    fs::create_directories(folder);
    const std::string path = folder + "/" + kChatKey;
    sample::DeletedRowsOptions options;
    options.shape = sample::MessageTableShape::Columns18;
    options.messages = messages;
    options.chats = 8;
    options.deletedChat = 2;
    options.laterMessages = messages / 20;
    std::string error;
    const auto written = sample::writeChatStorageWithDeletedRows(path, options, &error);
    if (!written) {
        std::fprintf(stderr, "cannot build the sample: %s\n", error.c_str());
        return 1;
    }
    Truth truth;
    const auto expectedOf = [](const sample::SurvivingRow& row) {
        return Expected{row.chat, row.fromMe, std::nullopt, static_cast<int64_t>(row.date),
                        row.text};
    };
    for (const auto& row : written->deletedRows) {
        truth.deleted.emplace(textKey(row.text, static_cast<int64_t>(row.date)), expectedOf(row));
    }
    for (const auto& row : written->liveRows) {
        truth.live.emplace(textKey(row.text, static_cast<int64_t>(row.date)), expectedOf(row));
    }
    for (const auto& row : written->survivingDeletedRows) {
        if (!row.text.empty()) {  // no text, no media item: nothing to show
            truth.surviving.insert(textKey(row.text, static_cast<int64_t>(row.date)));
        }
    }
    truth.deletedChats.insert(options.deletedChat);
    std::printf(
        "18-column table (sample builder): %zu messages, %zu deleted, %zu surviving with "
        "text, %.1f MiB\n",
        messages, written->deletedRows.size(), truth.surviving.size(),
        static_cast<double>(fs::file_size(path)) / 1048576.0);
    runEngines(truth, folder, *scratch);
    return 0;
}

// The real database as the phone left it: every row in it is live.
int runUntouched(const std::string& source) {
    auto scratch = ScratchFolder::create("vessamo-recovery-bench");
    const std::string folder = scratch->path() + "/backup";
    fs::create_directories(folder);
    fs::copy_file(source, folder + "/" + kChatKey);
    Reporter reporter;
    ScanState state(reporter, {});
    if (!scanDeletedWhatsAppMessageThread(state, folder).ok()) {
        return 1;
    }
    const std::string folded = foldedCopy(*scratch, folder + "/" + kChatKey, "");
    const ChatDatabaseFacts facts = ChatDatabaseFacts::of(folded);
    TextStore texts;
    DeletedMessageCarver carver(CarverVariant::Backup, texts, {}, facts.context);
    size_t byPatterns = 0;
    carver.carve(*CarvingFile::open(folded), [&](const CarvedRecord& r) {
        byPatterns += r.stanzaId.empty() || !facts.liveMessages.hasStanza(r.stanzaId);
    });
    std::printf("untouched josh_ios15: schema recovered %zu, patterns recovered %zu\n",
                reporter.shown.size() + state.wpChatArray.size(), byPatterns);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t messages = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5000;
    const std::string real =
        argc > 2 ? argv[2] : std::string(VESSAMO_REALDATA_DIR) + "/josh_ios15/ChatStorage.sqlite";
    const uint32_t seed =
        argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 20230517;
    if (runRealSchema(real, messages, seed) != 0 || runOlderShape(messages * 4) != 0 ||
        runUntouched(real) != 0) {
        return 1;
    }
    std::printf(
        "forensic corpus: bench/recovery/score_corpus.py vessamo-cli CORPUS 0A 0B 0C 0D 0E\n");
    return 0;
}
