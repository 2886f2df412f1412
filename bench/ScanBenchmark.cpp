// Scans a sample backup of a million messages and compares the time with
// SQLite's own shell running the message query alone; then runs the command
// line's plain scan and its JSON stream of the same backup side by side.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "BenchSupport.h"
#include "MillionMessageSample.h"
#include "app/Scanner.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

const char* kMessageStatement =
    "select ZWAMESSAGE.ZCHATSESSION,ZMESSAGEDATE,ZPUSHNAME,ZMESSAGETYPE,ZFROMJID,ZTEXT,ZTOJID,"
    "ZGROUPMEMBER,ZWAMEDIAITEM.ZMEDIALOCALPATH,ZWAMEDIAITEM.ZVCARDNAME,ZWAMEDIAITEM.ZVCARDSTRING,"
    "ZWAMEDIAITEM.ZTHUMBNAILLOCALPATH,ZWAMEDIAITEM.ZXMPPTHUMBPATH,ZWAMEDIAITEM.ZLATITUDE,"
    "ZWAMEDIAITEM.ZLONGITUDE,ZWAMESSAGE.ZSTARRED,ZWAMESSAGE.ZISFROMME from ZWAMESSAGE left join  "
    "ZWAMEDIAITEM on  ZWAMESSAGE.Z_PK= ZWAMEDIAITEM.ZMESSAGE";

// Notes when each stage starts and how much memory is resident then.
class StageClock : public ScanReporter {
public:
    struct Stage {
        std::string name;
        std::chrono::steady_clock::time_point start;
        long long rssAtStart = 0;
    };

    void stageStarted(std::string_view stage) override {
        stages.push_back(
            {std::string(stage), std::chrono::steady_clock::now(), bench::statusBytes("VmRSS")});
    }

    std::vector<Stage> stages;
};

double mib(long long bytes) {
    return static_cast<double>(bytes) / 1048576.0;
}

// Prints each stage's time; returns the message stage's.
double printStages(const StageClock& clock, std::chrono::steady_clock::time_point end) {
    double messagesSeconds = 0;
    for (size_t i = 0; i < clock.stages.size(); ++i) {
        const auto& stage = clock.stages[i];
        const auto until = i + 1 < clock.stages.size() ? clock.stages[i + 1].start : end;
        const double seconds = std::chrono::duration<double>(until - stage.start).count();
        std::printf("  stage %-28s %.2f s, RSS at start %.0f MiB\n", stage.name.c_str(), seconds,
                    mib(stage.rssAtStart));
        if (stage.name == "scanWhatsAppMessageThread") {
            messagesSeconds = seconds;
        }
    }
    return messagesSeconds;
}

int scan(const std::string& folder, double shellSeconds) {
    StageClock clock;
    const long long baseline = bench::statusBytes("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    const ScanResultPtr result =
        Scanner::scan(folder, Scanner::kindOfFolder(folder), ScanOptions{}, {}, clock);
    const auto end = std::chrono::steady_clock::now();
    const double wall = std::chrono::duration<double>(end - start).count();
    const double messagesSeconds = printStages(clock, end);
    const long long peak = bench::statusBytes("VmHWM");
    std::printf("RSS after the scan      %.0f MiB\n", mib(bench::statusBytes("VmRSS")));
    const size_t messages = result->WhatsAppChatArray.size();
    std::printf("scan: %zu messages, %zu media files, %zu contacts\n", messages,
                result->WhatsAppMediaArray.size(), result->WhatsAppContactArray.size());
    std::printf("scan wall time          %.2f s (%.0f messages/s)\n", wall,
                static_cast<double>(messages) / wall);
    std::printf("message stage           %.2f s\n", messagesSeconds);
    std::printf("peak RSS                %.1f MiB (baseline %.1f MiB)\n", mib(peak), mib(baseline));
    const double perMessage = static_cast<double>(messages != 0 ? messages : 1);
    std::printf("RSS above baseline      %.0f bytes per message (target <= 500)\n",
                static_cast<double>(peak - baseline) / perMessage);
    std::printf("text store              %.0f MiB, %.0f bytes per message\n",
                mib(static_cast<long long>(result->texts.capacityBytes())),
                static_cast<double>(result->texts.capacityBytes()) / perMessage);
    std::printf(
        "ratio ours / sqlite3     %.2f for the message stage, %.2f for the whole scan "
        "(target <= 1.5)\n",
        messagesSeconds / shellSeconds, wall / shellSeconds);
    std::fflush(stdout);
    return messages != 0 ? 0 : 1;
}

// The command line as a script runs it: a summary, then the whole result as
// JSON into /dev/null. The stream must not cost much more time than the
// scan, nor any more memory.
int compareCommandLine(const std::string& folder) {
    const bench::CommandRun plain = bench::runCommand({VESSAMO_CLI_PATH, "scan", folder});
    const bench::CommandRun json = bench::runCommand({VESSAMO_CLI_PATH, "scan", folder, "--json"});
    if (plain.exitCode != 0 || json.exitCode != 0) {
        std::fprintf(stderr, "%s did not scan the sample (exit %d and %d)\n", VESSAMO_CLI_PATH,
                     plain.exitCode, json.exitCode);
        return 1;
    }
    std::printf("vessamo-cli scan        %.2f s, peak RSS %.0f MiB\n", plain.seconds,
                mib(plain.peakRssBytes));
    std::printf("vessamo-cli scan --json %.2f s, peak RSS %.0f MiB\n", json.seconds,
                mib(json.peakRssBytes));
    std::printf("ratio json / plain      %.2f time (target <= 1.3), %.2f peak RSS (target <= 1)\n",
                json.seconds / plain.seconds,
                static_cast<double>(json.peakRssBytes) / static_cast<double>(plain.peakRssBytes));
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main() {
    const std::optional<std::string> sample = bench::millionMessageSample();
    if (!sample) {
        return 1;
    }
    const std::string& folder = *sample;
    std::printf("sample: %s\n", folder.c_str());
    const std::string chat = folder + "/7c/7c7fba66680ef796b916b067077cc246adacf01d";
    const bench::CommandRun query =
        bench::runCommand({"sqlite3", "-readonly", chat, kMessageStatement});
    const double shell = query.seconds;
    if (query.exitCode != 0) {
        std::fprintf(stderr, "sqlite3 did not run the query; is the sqlite3 package installed?\n");
        return 1;
    }
    std::printf("sqlite3 message query   %.2f s\n", shell);
    if (bench::inChild([&] { return scan(folder, shell); }) != 0) {
        return 1;
    }
    return compareCommandLine(folder);
}
