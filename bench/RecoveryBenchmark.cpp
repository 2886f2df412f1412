// Scores deleted-message recovery on chat databases with realistic
// deletions (single messages, runs long enough to free whole pages, and a
// whole chat with its session), in the current and in an older table
// shape: recall of the deleted rows that physically survive, precision,
// live rows shown, garbage, right chat and direction, and throughput, for
// the schema engine (the scan stage) and the pattern engine.
//   recovery_bench [messages]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/CarvingFile.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/DeletedMessageCarver.h"
#include "carving/SchemaCarver.h"
#include "common/ScratchFolder.h"
#include "sample/SampleDeletedMessages.h"
#include "whatsapp/DeletedMessagesStage.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

// A message by what identifies it in the sample (every text names its
// row); the chat and the direction are what is checked.
using Key = std::pair<std::string, int64_t>;  // text, whole seconds
struct Row {
    int64_t chat;
    bool sent;
};
struct Truth {
    std::map<Key, Row> deleted;
    std::map<Key, Row> live;
    std::set<Key> surviving;
};

struct Recovered {
    Key key;
    Row row;
    bool named;  // received ones: the sender's number is known
};

struct Reporter : ScanReporter {
    void recovered(const KTWhatsAppNode& m) override { shown.push_back(m); }
    std::vector<KTWhatsAppNode> shown;
};

Key keyOf(const sample::SurvivingRow& row) {
    return {row.text, static_cast<int64_t>(row.date)};
}

Recovered recoveredOf(const KTWhatsAppNode& m) {
    const bool sent = m.messageType == Direction::Send;
    return {{std::string(m.messageContent), m.messageDate ? m.messageDate->seconds : -1},
            {m.chatID, sent},
            sent || !m.messageNumb.empty()};
}

void score(const char* engine, const Truth& truth, const std::vector<Recovered>& found,
           double seconds, uint64_t bytes) {
    std::set<Key> hits;
    size_t right = 0;
    size_t live = 0;
    size_t garbage = 0;
    size_t direction = 0;
    size_t chat = 0;
    size_t named = 0;
    size_t received = 0;
    for (const Recovered& r : found) {
        if (const auto d = truth.deleted.find(r.key); d != truth.deleted.end()) {
            ++right;
            hits.insert(r.key);
            direction += d->second.sent == r.row.sent ? 1 : 0;
            chat += d->second.chat == r.row.chat ? 1 : 0;
        } else if (truth.live.contains(r.key)) {
            ++live;
        } else {
            ++garbage;
        }
        received += r.row.sent ? 0 : 1;
        named += !r.row.sent && r.named ? 1 : 0;
    }
    size_t recalled = 0;
    for (const Key& key : truth.surviving) {
        recalled += hits.contains(key) ? 1 : 0;
    }
    const auto share = [](size_t part, size_t whole) {
        return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
    };
    std::printf(
        "  %-8s recall %6.2f %%  precision %6.2f %%  live shown %zu  garbage %zu  "
        "chat %6.2f %%  direction %6.2f %%  sender named %6.2f %%  %.0f MiB/s\n",
        engine, share(recalled, truth.surviving.size()), share(right, found.size()), live, garbage,
        share(right, right), share(direction, right), share(named, received),
        static_cast<double>(bytes) / 1048576.0 / seconds);
}

int run(sample::MessageTableShape shape, const char* name, size_t messages) {
    auto scratch = ScratchFolder::create("vessamo-recovery-bench");
    const std::string folder = scratch->path() + "/backup";
    fs::create_directories(folder);
    const std::string path = folder + "/7c7fba66680ef796b916b067077cc246adacf01d";
    sample::DeletedRowsOptions options;
    options.shape = shape;
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
    for (const auto& row : written->deletedRows) {
        truth.deleted.emplace(keyOf(row), Row{row.chat, row.fromMe});
    }
    for (const auto& row : written->liveRows) {
        truth.live.emplace(keyOf(row), Row{row.chat, row.fromMe});
    }
    for (const auto& row : written->survivingDeletedRows) {
        if (!row.text.empty()) {  // no text, no media item: nothing to show
            truth.surviving.insert(keyOf(row));
        }
    }
    const uint64_t bytes = fs::file_size(path);
    std::printf("%s: %zu messages, %zu deleted, %zu surviving with text, %.1f MiB\n", name,
                messages, written->deletedRows.size(), truth.surviving.size(),
                static_cast<double>(bytes) / 1048576.0);

    Reporter reporter;
    ScanState state(reporter, {});
    auto start = std::chrono::steady_clock::now();
    if (!scanDeletedWhatsAppMessageThread(state, folder).ok()) {
        return 1;
    }
    const double stageSeconds = bench::secondsSince(start);
    std::vector<Recovered> bySchema;
    for (const KTWhatsAppNode& m : reporter.shown) {
        bySchema.push_back(recoveredOf(m));
    }
    for (const KTWhatsAppNode& m : state.wpChatArray) {
        bySchema.push_back(recoveredOf(m));
    }
    score("schema", truth, bySchema, stageSeconds, bytes);

    const ChatDatabaseFacts facts = ChatDatabaseFacts::of(path);
    const auto file = CarvingFile::open(path);
    // The schema engine's byte scan alone, without the copy, the look-ups
    // and the naming the stage adds.
    for (const TableSchema& table : readTableSchemas(path)) {
        if (table.name == "ZWAMESSAGE") {
            SchemaCarver engine(table);
            size_t offered = 0;
            start = std::chrono::steady_clock::now();
            engine.carve(*file, nullptr, [&](const FoundRecord&) {
                ++offered;
                return false;
            });
            std::printf("  schema engine alone: %zu records offered, %.0f MiB/s\n", offered,
                        static_cast<double>(bytes) / 1048576.0 / bench::secondsSince(start));
        }
    }
    TextStore texts;
    DeletedMessageCarver carver(CarverVariant::Backup, texts, {}, facts.context);
    std::vector<Recovered> byPatterns;
    start = std::chrono::steady_clock::now();
    carver.carve(*file, [&](const CarvedRecord& r) {
        if (r.stanzaId.empty() || !facts.liveMessages.hasStanza(r.stanzaId)) {
            byPatterns.push_back(recoveredOf(r.message));
        }
    });
    score("patterns", truth, byPatterns, bench::secondsSince(start), bytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t messages = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
    if (run(sample::MessageTableShape::Columns34, "34-column table", messages) != 0 ||
        run(sample::MessageTableShape::Columns18, "18-column table", messages) != 0) {
        return 1;
    }
    std::printf(
        "forensic corpus: bench/recovery/score_corpus.py vessamo-cli CORPUS 0A 0B 0C 0D 0E\n");
    return 0;
}
