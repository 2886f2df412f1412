#include "ExportCommand.h"

#include <charconv>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <set>
#include <span>
#include <sstream>
#include <tuple>

#include "DestinationCheck.h"
#include "ExportRunner.h"
#include "InterruptWatcher.h"
#include "PasswordInput.h"
#include "ScanCommand.h"
#include "ScanSession.h"
#include "export/ExportDestination.h"
#include "export/HtmlChatExport.h"
#include "export/MediaExports.h"
#include "export/ReportExport.h"
#include "export/TextExports.h"

namespace vessamo::cli {

namespace {

// "all", or chat keys separated by commas; nullopt for anything else.
std::optional<std::set<int32_t>> chatKeys(const std::string& text) {
    std::set<int32_t> keys;
    if (text == "all") {
        return keys;
    }
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        int32_t key = 0;
        const char* end = part.data() + part.size();
        const auto [stop, error] = std::from_chars(part.data(), end, key);
        if (part.empty() || error != std::errc() || stop != end) {
            return std::nullopt;
        }
        keys.insert(key);
    }
    return keys.empty() ? std::nullopt : std::optional(keys);
}

std::string countOf(size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// The keys asked for that name no conversation of the scan.
std::vector<int32_t> unknownKeys(const ScanResult& result, const std::set<int32_t>& keys,
                                 bool withDeleted) {
    std::set<int32_t> known;
    for (const KTWhatsAppCovNode& chat : result.WhatsAppConvChatArray) {
        known.insert(chat.chatID);
    }
    if (withDeleted) {
        for (const KTWhatsAppCovNode& chat : result.whatsAppArray) {
            known.insert(chat.chatID);
        }
    }
    std::vector<int32_t> unknown;
    for (int32_t key : keys) {
        if (known.count(key) == 0) {
            unknown.push_back(key);
        }
    }
    return unknown;
}

// The conversations the keys name (all when there are none): the live ones
// and, with recovery, those that only recovered messages make.
std::vector<const KTWhatsAppCovNode*> chosenChats(const ScanResult& result,
                                                  const std::set<int32_t>& keys, bool withDeleted) {
    std::vector<const KTWhatsAppCovNode*> chosen;
    auto consider = [&](const std::vector<KTWhatsAppCovNode>& conversations) {
        for (const KTWhatsAppCovNode& chat : conversations) {
            if (keys.empty() || keys.count(chat.chatID) != 0) {
                chosen.push_back(&chat);
            }
        }
    };
    consider(result.WhatsAppConvChatArray);
    if (withDeleted) {
        consider(result.whatsAppArray);
    }
    return chosen;
}

void report(const ExportStepReport& step, std::ostream& out) {
    const ExportReport& result = step.report;
    out << "  " << std::left << std::setw(24) << step.label
        << countOf(result.filesWritten, "file", "files");
    if (!result.failures.empty()) {
        out << ", " << result.failures.size() << " failed";
    }
    if (!result.missingMedia.empty()) {
        out << ", " << countOf(result.missingMedia.size(), "media file", "media files")
            << " not in the backup";
    }
    out << '\n';
}

// What the export writes, in the order it writes it. The steps keep
// pointers into result, chats and items, which outlive them.
std::vector<ExportStep> chosenSteps(const ExportOptions& options, const ScanResult& result,
                                    std::span<const KTWhatsAppCovNode* const> chats,
                                    std::span<const IKImageItem> items) {
    const std::string& to = options.destination;
    const ScanResult* r = &result;
    const auto size = [](const auto& list) { return static_cast<int32_t>(list.size()); };
    std::vector<ExportStep> steps;
    const auto add = [&steps](bool chosen, const char* label, int32_t total, auto run) {
        if (chosen) {
            steps.push_back({label, total, run});
        }
    };
    add(options.html, "Chat pages (HTML)", size(chats),
        [=](const ExportControl& c) { return exportChatsAsHtml(*r, chats, to, c); });
    add(options.report, "Chat report", size(chats), [=, utc = options.utc](const ExportControl& c) {
        return exportChatReport(*r, chats, to, ReportOptions{.utc = utc}, c);
    });
    add(options.text, "Chats as text", 0,
        [=](const ExportControl& c) { return ExportChatAsTextthreader(*r, chats, to, c); });
    add(options.people, "People of the chats", 0, [=](const ExportControl& c) {
        return ExportSelectedChatContactsthreader(*r, chats, to, c);
    });
    add(options.contacts, "Contacts", size(result.WhatsAppContactArray),
        [=](const ExportControl& c) { return ExportChatContactsthreader(*r, to, c); });
    add(options.favorites, "WhatsApp contacts", size(result.WhatsAppFacContactArray),
        [=](const ExportControl& c) { return ExportChatFavContactsthreader(*r, to, c); });
    add(options.calls, "Call log", size(result.WhatsAppCallArray),
        [=](const ExportControl& c) { return ExportWhatsAppChatCallthreader(*r, to, c); });
    add(options.chatMedia, "Media of the chats", 0,
        [=](const ExportControl& c) { return ExportChatAsAttachmentthreader(*r, chats, to, c); });
    const std::tuple<bool, MediaKind, const char*> kinds[] = {
        {options.allMedia, MediaKind::all, "All media files"},
        {options.photos, MediaKind::photos, "Photos"},
        {options.videos, MediaKind::videos, "Videos"},
        {options.audios, MediaKind::audios, "Sounds"}};
    for (const auto& [chosen, kind, label] : kinds) {
        add(chosen, label, 0, [=, k = kind](const ExportControl& c) {
            return exportMediaByKind(*r, items, to, k, c);
        });
    }
    return steps;
}

// What the export needs to know before it scans; nullopt when all is well,
// else the exit status after saying what is wrong.
std::optional<int> refusal(const ExportOptions& options, bool keysValid, std::ostream& err) {
    if (!keysValid) {
        err << "--chats takes \"all\" or chat keys separated by commas, not \"" << options.chats
            << "\"\n";
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(options.folder, ec)) {
        err << "Not a folder: " << options.folder << '\n';
        return 2;
    }
    if (const auto problem = destinationProblem(options.destination, options.folder)) {
        err << "Cannot export: " << *problem << '\n';
        return 2;
    }
    return std::nullopt;
}

int exportScanned(const ExportOptions& options, const ScanResult& result,
                  const std::set<int32_t>& keys, std::ostream& out, std::ostream& err) {
    if (const auto unknown = unknownKeys(result, keys, options.deleted); !unknown.empty()) {
        err << "No conversation with the key";
        for (size_t i = 0; i < unknown.size(); ++i) {
            err << (i == 0 ? " " : ", ") << unknown[i];
        }
        err << " in " << options.folder << " (`scan --json` lists them); nothing exported\n";
        return 2;
    }
    const auto chats = chosenChats(result, keys, options.deleted);
    std::vector<IKImageItem> items;
    items.reserve(result.WhatsAppMediaArray.size());
    for (const KTTreeDirNode& file : result.WhatsAppMediaArray) {
        items.push_back(IKImageItem::fromTreeNode(file));
    }
    ExportRunner runner(err, InterruptWatcher::stopToken());
    const auto steps = runner.run(chosenSteps(options, result, chats, items));
    out << "Exported to " << options.destination << " ("
        << countOf(chats.size(), "conversation", "conversations") << " chosen)\n";
    ExportReport total;
    for (const ExportStepReport& step : steps) {
        report(step, out);
        total.merge(step.report);
    }
    // Files the backup never held are the backup's matter: each is named
    // once, and a run that lacks nothing else has succeeded.
    if (!total.missingMedia.empty()) {
        out << countOf(total.missingMedia.size(), "media file is", "media files are")
            << " not in the backup; their messages are exported without them\n";
        for (const std::string& missing : total.missingMedia) {
            err << "not in the backup: " << missing << '\n';
        }
    }
    for (const std::string& failure : total.failures) {
        err << "failed: " << failure << '\n';
    }
    if (InterruptWatcher::interrupted()) {
        err << "The export was stopped; what it had finished is in " << options.destination
            << ", nothing half-written.\n";
        return InterruptWatcher::exitStatus();
    }
    return total.failures.empty() ? 0 : 1;
}

}  // namespace

int runExport(ExportOptions options, std::ostream& out, std::ostream& err) {
    const auto keys = chatKeys(options.chats);
    if (const auto refused = refusal(options, keys.has_value(), err)) {
        return *refused;
    }
    if (!options.anyChosen()) {
        // Photos, videos and sounds by kind rather than "every file": the
        // latter also copies the databases, whose names repeat across apps.
        options.html = options.report = options.text = options.people = options.contacts =
            options.favorites = options.calls = options.chatMedia = options.photos =
                options.videos = options.audios = true;
    }
    ScanSource source = describeSource(options.folder, options.kind, options.deleted);
    if (const int refused = unlockSource(source, options.passwordFile, err); refused != 0) {
        return refused;
    }
    ScanSession session(err);
    const ScanResultPtr result = session.scan(source);
    out << scanSummary(*result);
    if (session.interrupted()) {
        err << "The scan was stopped before its end; nothing was exported from a partial "
               "result.\n";
        return InterruptWatcher::exitStatus();
    }
    // Checked again against the scanned source: a backup found below the
    // destination is only known now.
    if (const Status refused = checkExportDestination(*result, options.destination);
        !refused.ok()) {
        err << refused.message() << '\n';
        return 2;
    }
    return exportScanned(options, *result, *keys, out, err);
}

}  // namespace vessamo::cli
