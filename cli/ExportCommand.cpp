#include "ExportCommand.h"

#include <filesystem>
#include <iomanip>
#include <ostream>
#include <set>
#include <span>
#include <sstream>
#include <tuple>

#include "ScanCommand.h"
#include "ScanSession.h"
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
        try {
            size_t used = 0;
            const int key = std::stoi(part, &used);
            if (used != part.size()) {
                return std::nullopt;
            }
            keys.insert(key);
        } catch (...) {
            return std::nullopt;
        }
    }
    return keys.empty() ? std::nullopt : std::optional(keys);
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

void report(const char* what, const ExportReport& result, ExportReport& total, std::ostream& out) {
    out << "  " << std::left << std::setw(24) << what << result.filesWritten << " files";
    if (!result.failures.empty()) {
        out << ", " << result.failures.size() << " failed";
    }
    if (!result.missingMedia.empty()) {
        out << ", " << result.missingMedia.size() << " media files not in the backup";
    }
    out << '\n';
    total.merge(result);
}

ExportReport runChosen(const ExportOptions& options, const ScanResult& result,
                       std::span<const KTWhatsAppCovNode* const> chats, std::ostream& out) {
    ExportReport total;
    const std::string& to = options.destination;
    if (options.html) {
        report("Chat pages (HTML)", exportChatsAsHtml(result, chats, to), total, out);
    }
    if (options.report) {
        const ReportOptions reportOptions{.utc = options.utc};
        report("Chat report", exportChatReport(result, chats, to, reportOptions), total, out);
    }
    if (options.text) {
        report("Chats as text", ExportChatAsTextthreader(result, chats, to), total, out);
    }
    if (options.people) {
        report("People of the chats", ExportSelectedChatContactsthreader(result, chats, to), total,
               out);
    }
    if (options.contacts) {
        report("Contacts", ExportChatContactsthreader(result, to), total, out);
    }
    if (options.favorites) {
        report("WhatsApp contacts", ExportChatFavContactsthreader(result, to), total, out);
    }
    if (options.calls) {
        report("Calls", ExportWhatsAppChatCallthreader(result, to), total, out);
    }
    if (options.chatMedia) {
        report("Media of the chats", ExportChatAsAttachmentthreader(result, chats, to), total, out);
    }
    std::vector<IKImageItem> items;
    items.reserve(result.WhatsAppMediaArray.size());
    for (const KTTreeDirNode& file : result.WhatsAppMediaArray) {
        items.push_back(IKImageItem::fromTreeNode(file));
    }
    const std::tuple<bool, MediaKind, const char*> kinds[] = {
        {options.allMedia, MediaKind::all, "All media files"},
        {options.photos, MediaKind::photos, "Photos"},
        {options.videos, MediaKind::videos, "Videos"},
        {options.audios, MediaKind::audios, "Sounds"}};
    for (const auto& [chosen, kind, label] : kinds) {
        if (chosen) {
            report(label, exportMediaByKind(result, items, to, kind), total, out);
        }
    }
    return total;
}

}  // namespace

int runExport(ExportOptions options, std::ostream& out, std::ostream& err) {
    auto keys = chatKeys(options.chats);
    if (!keys) {
        err << "--chats takes \"all\" or chat keys separated by commas, not \"" << options.chats
            << "\"\n";
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(options.folder, ec)) {
        err << "Not a folder: " << options.folder << '\n';
        return 2;
    }
    if (!options.anyChosen()) {
        // Photos, videos and sounds by kind rather than "every file": the
        // latter also copies the databases, whose names repeat across apps.
        options.html = options.report = options.text = options.people = options.contacts =
            options.favorites = options.calls = options.chatMedia = options.photos =
                options.videos = options.audios = true;
    }
    const ScanSource source = describeSource(options.folder, options.kind, options.deleted);
    ScanSession session(err);
    const ScanResultPtr result = session.scan(source);
    out << scanSummary(*result);
    const auto chats = chosenChats(*result, *keys, options.deleted);
    out << "Exported to " << options.destination << " (" << chats.size()
        << " conversations chosen)\n";
    const ExportReport total = runChosen(options, *result, chats, out);
    // Files the backup never held are the backup's matter: each is named
    // once, and a run that lacks nothing else has succeeded.
    if (!total.missingMedia.empty()) {
        out << total.missingMedia.size()
            << " media files are not in the backup; their messages are exported without them\n";
        for (const std::string& missing : total.missingMedia) {
            err << "not in the backup: " << missing << '\n';
        }
    }
    for (const std::string& failure : total.failures) {
        err << "failed: " << failure << '\n';
    }
    return total.failures.empty() ? 0 : 1;
}

}  // namespace vessamo::cli
