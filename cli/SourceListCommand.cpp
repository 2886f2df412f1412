#include "SourceListCommand.h"

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <sstream>

#include "JsonWriter.h"
#include "app/TimelineLibrary.h"
#include "backup/KTIOSDeviceController.h"
#include "common/UserPaths.h"

namespace vessamo::cli {

namespace fs = std::filesystem;

namespace {

void writeRecord(JsonWriter& json, const KTIOSDeviceNode& source) {
    json.beginObject(JsonWriter::Layout::lines);
    json.member("strBackupType", source.strBackupType);
    json.member("strDeviceName", source.strDeviceName);
    json.member("strDeviceSize", source.strDeviceSize);
    json.member("strDeviceBackUpTime", source.strDeviceBackUpTime);
    json.member("strDeviceSerial", source.strDeviceSerial);
    json.member("strDeviceType", source.strDeviceType);
    json.member("strIOSVersion", source.strIOSVersion);
    json.member("itunesVersion", source.itunesVersion);
    json.member("backUpFilePath", source.backUpFilePath);
    json.member("beEncrypted", source.beEncrypted);
    json.member("deviceIndex", source.deviceIndex);
    json.endObject();
}

// Texts from backups may hold anything; a table must stay one line per row.
std::string cell(std::string text, size_t width) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    if (text.size() > width) {
        text = text.substr(0, width - 3) + "...";
    }
    return text;
}

// A backup whose plists could not be read: what is known, and why.
void writeUnreadable(JsonWriter& json, const UnreadableBackup& backup) {
    json.beginObject(JsonWriter::Layout::lines);
    json.member("strBackupType", std::string(kBackupTypeITunes));
    json.member("backUpFilePath", backup.folder);
    json.key("problem");
    json.beginObject();
    json.member("code", std::string(statusCodeName(backup.reason.code())));
    json.member("message", backup.reason.message());
    json.endObject();
    json.endObject();
}

// Below the table, the unreadable backups with the reason for each.
std::string unreadableLines(const std::vector<UnreadableBackup>& unreadable) {
    std::string lines;
    for (const UnreadableBackup& backup : unreadable) {
        lines += "Unreadable backup " + cell(backup.folder, 200) + ": " +
                 cell(backup.reason.message(), 200) + "\n";
    }
    return lines;
}

std::string table(const std::vector<KTIOSDeviceNodePtr>& records) {
    std::ostringstream out;
    out << std::left << std::setw(15) << "Type"
        << "  " << std::setw(28) << "Name"
        << "  " << std::setw(8) << "iOS"
        << "  " << std::setw(16) << "Backup time"
        << "  " << std::setw(9) << "Encrypted"
        << "  "
        << "Folder\n";
    for (const auto& record : records) {
        out << std::left << std::setw(15) << cell(record->strBackupType, 15) << "  "
            << std::setw(28) << cell(record->strDeviceName, 28) << "  " << std::setw(8)
            << cell(record->strIOSVersion, 8) << "  " << std::setw(16)
            << cell(record->strDeviceBackUpTime, 16) << "  " << std::setw(9)
            << (record->beEncrypted ? "yes" : "no") << "  " << cell(record->backUpFilePath, 200)
            << '\n';
    }
    return out.str();
}

struct SourceListing {
    std::vector<KTIOSDeviceNodePtr> records;
    std::vector<UnreadableBackup> unreadable;
};

SourceListing findSources() {
    KTIOSDeviceController devices;
    const std::string root = UserPaths::backupRoot();
    std::vector<std::string> entries;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        entries.push_back(it->path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& name : entries) {
        if (name.front() != '.') {
            devices.addDeviceNodeByPath(root + "/" + name);
        }
    }
    devices.addiCloudDeviceNode();
    std::vector<KTIOSDeviceNodePtr> records = devices.records();
    const std::vector<KTIOSDeviceNodePtr> timelines =
        FindWhatsAppTimelineBackup(UserPaths::timelineFolder());
    records.insert(records.end(), timelines.begin(), timelines.end());
    return {std::move(records), devices.unreadable()};
}

}  // namespace

std::vector<KTIOSDeviceNodePtr> listSources() {
    return findSources().records;
}

int runList(bool asJson, std::FILE* out) {
    const SourceListing found = findSources();
    const std::vector<KTIOSDeviceNodePtr>& records = found.records;
    if (asJson) {
        JsonWriter json(out);
        json.beginArray(JsonWriter::Layout::lines);
        for (const KTIOSDeviceNodePtr& record : records) {
            writeRecord(json, *record);
        }
        for (const UnreadableBackup& backup : found.unreadable) {
            writeUnreadable(json, backup);
        }
        json.endArray();
        return json.finish() ? 0 : 1;
    }
    std::string text = records.empty() && found.unreadable.empty()
                           ? "No sources found in " + UserPaths::userFolder() + "\n"
                           : table(records) + unreadableLines(found.unreadable);
    std::fwrite(text.data(), 1, text.size(), out);
    return 0;
}

}  // namespace vessamo::cli
