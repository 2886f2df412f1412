#include "export/ReportExport.h"

#include <malloc.h>

#include <algorithm>
#include <ctime>

#include "common/Files.h"
#include "export/ExportFileNames.h"
#include "export/MessageAttachmentCopy.h"
#include "export/ReportChat.h"
#include "export/ReportClock.h"
#include "export/ReportIndexWriter.h"
#include "export/ReportJson.h"
#include "export/ReportMessage.h"
#include "export/ReportOutput.h"
#include "export/ReportPageWriter.h"

namespace vessamo {

namespace {

// Everything one report run shares while it walks the conversations.
struct ReportRun {
    const ScanResult& result;
    const ReportOptions& options;
    const ExportControl& control;
    ReportOutput& output;
    ReportClock& clock;
    ReportMessageMaker& maker;
    ReportSearchIndex& search;
    ExportFileNames& pageNames;
    std::string pageBuffer;
    std::string zone;
    std::string exported;
    ChatTitles titles;
};

std::string nowText(ReportClock& clock) {
    const std::optional<ClockReading> now = clock.read(AppleTime::fromUnix(std::time(nullptr)));
    if (!now) {
        return "";
    }
    std::string text = ReportClock::shortDate(*now) + " ";
    ReportClock::appendTime(text, *now);
    return text;
}

std::string spanOf(const ReportChat& chat, ReportClock& clock) {
    const std::optional<ClockReading> first = clock.read(chat.first());
    const std::optional<ClockReading> last = clock.read(chat.last());
    if (!first || !last) {
        return "";
    }
    const std::string from = ReportClock::shortDate(*first);
    const std::string to = ReportClock::shortDate(*last);
    return from == to ? from : from + " \u2013 " + to;
}

// Page files "Name.html", "Name_2.html", ... and "Name.json", claimed
// together so that same-named chats become "Name (2).html" and so on.
std::vector<std::string> claimFiles(ExportFileNames& names, const ReportChat& chat, size_t perPage,
                                    std::string& jsonFile) {
    const size_t pages = std::max<size_t>(1, (chat.size() + perPage - 1) / perPage);
    std::vector<std::string> suffixes;
    suffixes.emplace_back(".html");
    for (size_t page = 2; page <= pages; ++page) {
        std::string& suffix = suffixes.emplace_back(1, '_');
        suffix.append(std::to_string(page)).append(".html");
    }
    suffixes.emplace_back(".json");
    const std::string stem(lastComponent(names.claimStem(safeFileName(chat.title()), suffixes)));
    std::vector<std::string> files;
    for (size_t page = 0; page < pages; ++page) {
        files.push_back(stem + suffixes[page]);
    }
    jsonFile = stem + ".json";
    return files;
}

// Writes a conversation's pages and JSON; false when stopped first.
bool writeChat(ReportRun& run, const ReportPageSet& set, const std::string& jsonFile) {
    ReportChatJson json(run.output, "Chats/" + jsonFile, set, run.zone);
    for (size_t page = 0; page < set.files.size(); ++page) {
        ReportPageWriter writer(set, page, run.pageBuffer);
        const size_t end = std::min(set.chat.size(), (page + 1) * set.perPage);
        for (size_t number = page * set.perPage; number < end; ++number) {
            if (run.control.stopRequested()) {
                return false;
            }
            const ReportMessage message = run.maker.make(set.chat, number);
            writer.add(message);
            json.add(message);
            run.search.add(message);
        }
        run.output.write("Chats/" + set.files[page], writer.finish());
    }
    json.finish();
    return true;
}

ReportIndexRow rowOf(const ReportChat& chat, const ReportPageSet& set, ReportClock& clock) {
    ReportIndexRow row;
    row.title = chat.title();
    row.number = chat.numberText();
    row.firstPage = set.files.front();
    row.messages = chat.messageCount();
    row.recovered = chat.recoveredCount();
    row.media = chat.mediaCount();
    row.first = clock.read(chat.first());
    row.last = clock.read(chat.last());
    row.recoveredOnly = chat.chat().bDeleted;
    row.deletedChat = chat.deletedChat();
    row.starredList = chat.chat().bStarredCovMessage;
    return row;
}

ChatTitles titlesOf(const ScanResult& result) {
    ChatTitles titles;
    for (const KTWhatsAppCovNode& chat : result.WhatsAppConvChatArray) {
        if (!chat.bStarredCovMessage) {
            titles.emplace(chat.chatID, chatTitleOf(chat));
        }
    }
    return titles;
}

void writeReport(const ScanResult& result, std::span<const KTWhatsAppCovNode* const> conversations,
                 const std::string& recoverPath, const ReportOptions& options,
                 const ExportControl& control, ExportReport& report) {
    ReportOutput output(recoverPath + "/" + kReportFolder, report);
    if (!output.prepare() || !output.prepareSubfolder("Chats")) {
        return;
    }
    const size_t perPage = std::max<size_t>(1, options.messagesPerPage);
    ReportClock clock(options.utc);
    ExportFileNames pageNames(output.folder() + "/Chats");
    MessageAttachmentCopy media(result, output.folder(), report);
    ReportMessageMaker maker(result, media, output, clock);
    ReportSearchIndex search(output, perPage);
    ReportRun run{result, options,   control, output,           clock,          maker,
                  search, pageNames, {},      clock.zoneName(), nowText(clock), titlesOf(result)};
    ReportIndexWriter index(result, reportSourceOf(result), run.zone, run.exported);
    const std::string_view owner =
        result.account ? result.account->whatsAppNodeName.view() : std::string_view();
    for (const KTWhatsAppCovNode* chat : conversations) {
        if (chat == nullptr) {
            continue;
        }
        const ReportChat reportChat(result, *chat, owner);
        std::string jsonFile;
        const ReportPageSet set{reportChat,
                                claimFiles(pageNames, reportChat, perPage, jsonFile),
                                perPage,
                                run.zone,
                                spanOf(reportChat, clock),
                                run.exported,
                                chat->bStarredCovMessage ? &run.titles : nullptr};
        search.beginChat(set, index.size());
        const bool done = writeChat(run, set, jsonFile);
        search.endChat();
        if (!done) {
            report.failures.push_back("report cancelled at the chat " + reportChat.title());
            return;
        }
        index.add(rowOf(reportChat, set, clock));
        control.countItem();
    }
    search.finish();
    (void)index.write(output);  // a failure is noted in the report
}

// The run's bookkeeping (a name for every media file copied, the index
// rows, page buffers) is gone once it ends; handing those pages back keeps
// the program at what the scan's result needs between exports.
void returnFreedMemory() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

}  // namespace

ExportReport exportChatReport(const ScanResult& result,
                              std::span<const KTWhatsAppCovNode* const> conversations,
                              const std::string& recoverPath, const ReportOptions& options,
                              const ExportControl& control) {
    ExportReport report;
    writeReport(result, conversations, recoverPath, options, control, report);
    returnFreedMemory();
    return report;
}

}  // namespace vessamo
