#include "export/ReportIndexWriter.h"

#include <filesystem>

#include "backup/KTIOSDeviceController.h"
#include "export/HtmlText.h"
#include "export/ReportResources.h"
#include "export/ReportText.h"

namespace vessamo {

namespace {

// The piece of the page held before it goes to its file.
constexpr size_t kPieceBytes = 64 * 1024;

std::string lowered(std::string_view text) {
    std::string low(text);
    for (char& c : low) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return low;
}

void appendFact(std::string& html, std::string_view term, std::string_view value) {
    html.append("<dt>").append(term).append("</dt><dd>");
    appendHtmlEscaped(html, value);
    html.append("</dd>");
}

std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        if (!part.empty()) {
            text.append(text.empty() ? "" : " \u00b7 ").append(part);
        }
    }
    return text;
}

void appendDateCell(std::string& html, const std::optional<ClockReading>& at) {
    if (!at) {
        html.append("<td data-v=\"\"></td>");
        return;
    }
    std::string iso;
    ReportClock::appendIso(iso, *at);
    html.append("<td data-v=\"").append(iso).append("\"><time datetime=\"").append(iso);
    html.append("\">").append(ReportClock::shortDate(*at)).append("</time></td>");
}

void appendCount(std::string& html, size_t count, const char* extraClass = "") {
    html.append("<td class=\"n").append(extraClass).append("\">");
    html.append(std::to_string(count)).append("</td>");
}

}  // namespace

ReportSource reportSourceOf(const ScanResult& result) {
    ReportSource source;
    source.folder = result.folder;
    const std::filesystem::path path = std::filesystem::path(result.folder).lexically_normal();
    source.device = (path.has_filename() ? path : path.parent_path()).filename().string();
    switch (result.kind) {
        case SourceKind::ICloud:
            source.kind = "WhatsApp backup from iCloud Drive";
            return source;
        case SourceKind::Timeline:
            source.kind = "Vessamo Timeline backup";
            return source;
        case SourceKind::Backup:
            break;
    }
    source.kind = "iPhone backup (iTunes or Finder)";
    if (const KTIOSDeviceController::Record record =
            KTIOSDeviceController().recordForFolder(result.folder)) {
        source.device = record->strDeviceName.empty() ? source.device : record->strDeviceName;
        source.model = record->strDeviceType.value_or("");
        source.iosVersion = record->strIOSVersion;
        source.backupTime = record->strDeviceBackUpTime;
    }
    return source;
}

bool ReportIndexWriter::write(ReportOutput& output) const {
    ReportStream file(output, "index.html");
    std::string html;
    html.reserve(kPieceBytes + reportStyleSheet().size() + 4096);
    html.append(
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<meta name=\"generator\" content=\"Vessamo\"><title>WhatsApp chats \u00b7 ");
    appendHtmlEscaped(html, source_.device);
    html.append("</title><style>").append(reportStyleSheet()).append("</style></head>\n");
    html.append("<body class=\"index-page\"><div class=\"wrap\">\n<header class=\"masthead\">");
    html.append("<h1>WhatsApp chats</h1>");
    appendFacts(html);
    html.append("</header>\n");
    html.append(
        "<div class=\"search\"><input id=\"q\" type=\"search\" autocomplete=\"off\" "
        "placeholder=\"Search conversations and messages\" aria-label=\"Search\"></div>\n"
        "<p id=\"hitnote\" role=\"status\"></p><ol id=\"hits\"></ol>\n");
    appendTable(html, file);
    html.append("<footer>Exported by Vessamo on ");
    appendHtmlEscaped(html, exported_);
    html.append(". Every page of this folder opens without the program and without a network.");
    html.append("</footer>\n</div><script>").append(reportIndexScript());
    html.append("</script></body></html>\n");
    file.append(html);
    return file.finish();
}

void ReportIndexWriter::appendFacts(std::string& html) const {
    size_t conversations = 0;
    size_t messages = 0;
    size_t recovered = 0;
    size_t media = 0;
    for (const ReportIndexRow& row : rows_) {
        if (row.starredList) {
            continue;
        }
        ++conversations;
        messages += row.messages;
        recovered += row.recovered;
        media += row.media;
    }
    html.append("<dl class=\"facts-list\">");
    const std::string ios = source_.iosVersion.empty() ? "" : "iOS " + source_.iosVersion;
    appendFact(html, "Source", joined({source_.device, source_.model, ios}));
    appendFact(html, "Kind", source_.kind);
    if (!source_.backupTime.empty()) {
        appendFact(html, "Backup made", source_.backupTime);
    }
    appendFact(html, "Folder", source_.folder);
    if (result_.account) {
        const std::string phone = phoneOfAddress(result_.account->whatsAppNodeNumber);
        appendFact(html, "Account", joined({result_.account->whatsAppNodeName.view(), phone}));
    }
    const std::string counts = std::to_string(conversations) + " conversations \u00b7 " +
                               std::to_string(messages) + " messages \u00b7 " +
                               std::to_string(recovered) + " recovered \u00b7 " +
                               std::to_string(media) + " with media";
    appendFact(html, "Contents", counts);
    appendFact(html, "Times", "shown in " + zone_);
    html.append("</dl>");
}

void ReportIndexWriter::appendTable(std::string& html, ReportStream& file) const {
    html.append(
        "<div class=\"table-wrap\"><table id=\"chats\"><thead><tr>"
        "<th scope=\"col\">Conversation</th>"
        "<th scope=\"col\" class=\"hide-small\">Number or group</th>"
        "<th scope=\"col\" class=\"n\">Messages</th>"
        "<th scope=\"col\" class=\"n\">Recovered</th>"
        "<th scope=\"col\" class=\"hide-small\">First</th>"
        "<th scope=\"col\">Last</th>"
        "<th scope=\"col\" class=\"n hide-small\">Media</th>"
        "</tr></thead><tbody>\n");
    for (size_t at = 0; at < rows_.size(); ++at) {
        appendRow(html, rows_[at], at);
        if (html.size() >= kPieceBytes) {
            file.append(html);
            html.clear();
        }
    }
    html.append("</tbody></table></div>\n");
}

void ReportIndexWriter::appendRow(std::string& html, const ReportIndexRow& row, size_t at) {
    html.append("<tr data-row=\"").append(std::to_string(at)).append("\" data-search=\"");
    appendHtmlEscaped(html, lowered(row.title + " " + row.number));
    html.append("\"><td><a href=\"Chats/");
    appendUrlComponent(html, row.firstPage);
    html.append("\">");
    appendHtmlEscaped(html, row.title);
    html.append("</a>");
    if (row.deletedChat) {
        html.append(" <span class=\"rec\">(deleted chat, recovered)</span>");
    } else if (row.recoveredOnly) {
        html.append(" <span class=\"rec\">(recovered only)</span>");
    }
    html.append("</td><td class=\"hide-small\">");
    appendHtmlEscaped(html, row.number);
    html.append("</td>");
    appendCount(html, row.messages);
    html.append("<td class=\"n\">");
    if (row.recovered > 0) {
        html.append("<span class=\"rec\">").append(std::to_string(row.recovered)).append("</span>");
    } else {
        html.append("0");
    }
    html.append("</td>");
    std::string first;
    appendDateCell(first, row.first);
    first.insert(3, " class=\"hide-small\"");
    html.append(first);
    appendDateCell(html, row.last);
    appendCount(html, row.media, " hide-small");
    html.append("</tr>\n");
}

}  // namespace vessamo
