// Scans a sample backup of a million messages and compares the time with
// SQLite's own shell running the message query alone.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "BenchSupport.h"
#include "app/OrlendoAppDelegate.h"
#include "common/NotificationCenter.h"
#include "sample/SampleSources.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

constexpr size_t kMessages = 1'000'000;

const char* kMessageStatement =
    "select ZWAMESSAGE.ZCHATSESSION,ZMESSAGEDATE,ZPUSHNAME,ZMESSAGETYPE,ZFROMJID,ZTEXT,ZTOJID,"
    "ZGROUPMEMBER,ZWAMEDIAITEM.ZMEDIALOCALPATH,ZWAMEDIAITEM.ZVCARDNAME,ZWAMEDIAITEM.ZVCARDSTRING,"
    "ZWAMEDIAITEM.ZTHUMBNAILLOCALPATH,ZWAMEDIAITEM.ZXMPPTHUMBPATH,ZWAMEDIAITEM.ZLATITUDE,"
    "ZWAMEDIAITEM.ZLONGITUDE,ZWAMESSAGE.ZSTARRED,ZWAMESSAGE.ZISFROMME from ZWAMESSAGE left join  "
    "ZWAMEDIAITEM on  ZWAMESSAGE.Z_PK= ZWAMEDIAITEM.ZMESSAGE";

int buildSample(const std::string& folder) {
    sample::WhatsAppSampleOptions options;
    options.people = 6000;
    options.addressBook = 2000;
    options.otherContacts = 0;
    options.chats = 4800;
    options.groups = 200;
    options.messages = kMessages;
    options.mediaEvery = 10;
    options.calls = 2000;
    options.smallMedia = true;
    auto start = std::chrono::steady_clock::now();
    auto builder = sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb, {}, options);
    std::string error;
    if (!builder.write(folder, &error)) {
        std::fprintf(stderr, "cannot build the sample: %s\n", error.c_str());
        return 1;
    }
    std::printf("built the sample in %.1f s\n", bench::secondsSince(start));
    return 0;
}

int scan(const std::string& folder, double shellSeconds) {
    bench::SilentUi ui;
    NotificationCenter center;
    OrlendoAppDelegate controller(ui, center, OrlendoAppDelegate::Options{.defaultsPath = ""});
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> stages;
    std::vector<long long> rssAtStart;
    controller.stages().onStageStart = [&](std::string_view stage) {
        stages.emplace_back(std::string(stage), std::chrono::steady_clock::now());
        rssAtStart.push_back(bench::statusBytes("VmRSS"));
    };
    const long long baseline = bench::statusBytes("VmRSS");
    auto start = std::chrono::steady_clock::now();
    controller.openPanelDidEnd1(folder);
    controller.waitForScan();
    const double wall = bench::secondsSince(start);
    const auto end = std::chrono::steady_clock::now();
    double messagesSeconds = 0;
    for (size_t i = 0; i < stages.size(); ++i) {
        auto until = i + 1 < stages.size() ? stages[i + 1].second : end;
        double seconds = std::chrono::duration<double>(until - stages[i].second).count();
        std::printf("  stage %-28s %.2f s, RSS at start %.0f MiB\n", stages[i].first.c_str(),
                    seconds, static_cast<double>(rssAtStart[i]) / 1048576.0);
        if (stages[i].first == "scanWhatsAppMessageThread") {
            messagesSeconds = seconds;
        }
    }
    const long long peak = bench::statusBytes("VmHWM");
    std::printf("RSS after the scan      %.0f MiB\n",
                static_cast<double>(bench::statusBytes("VmRSS")) / 1048576.0);
    const size_t messages =
        controller.currentNode ? controller.currentNode->WhatsAppChatArray.size() : 0;
    std::printf("scan: %zu messages, %zu media files, %zu contacts\n", messages,
                controller.currentNode ? controller.currentNode->WhatsAppMediaArray.size() : 0,
                controller.currentNode ? controller.currentNode->WhatsAppContactArray.size() : 0);
    std::printf("scan wall time          %.2f s (%.0f messages/s)\n", wall,
                static_cast<double>(messages) / wall);
    std::printf("message stage           %.2f s\n", messagesSeconds);
    std::printf("peak RSS                %.1f MiB (baseline %.1f MiB)\n", peak / 1048576.0,
                baseline / 1048576.0);
    std::printf(
        "RSS above baseline      %.0f bytes per message (target <= 600)\n",
        messages != 0 ? static_cast<double>(peak - baseline) / static_cast<double>(messages) : 0.0);
    std::printf(
        "ratio ours / sqlite3     %.2f for the message stage, %.2f for the whole scan "
        "(target <= 1.5)\n",
        messagesSeconds / shellSeconds, wall / shellSeconds);
    std::fflush(stdout);
    return messages == kMessages ? 0 : 1;
}

}  // namespace

int main() {
    const std::string cache = bench::cacheFolder("scan-1m");
    const std::string folder = cache + "/backup";
    if (!fs::exists(cache + "/complete")) {
        fs::remove_all(cache);
        fs::create_directories(cache);
        if (bench::inChild([&] { return buildSample(folder); }) != 0) {
            return 1;
        }
        std::ofstream(cache + "/complete") << "ok\n";
    }
    std::printf("sample: %s\n", folder.c_str());
    const std::string chat = folder + "/7c/7c7fba66680ef796b916b067077cc246adacf01d";
    const double shell = bench::timeCommand({"sqlite3", "-readonly", chat, kMessageStatement});
    if (shell <= 0) {
        std::fprintf(stderr, "sqlite3 did not run the query; is the sqlite3 package installed?\n");
        return 1;
    }
    std::printf("sqlite3 message query   %.2f s\n", shell);
    return bench::inChild([&] { return scan(folder, shell); });
}
