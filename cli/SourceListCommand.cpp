#include "SourceListCommand.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

#include "ConsoleUiPort.h"
#include "app/OrlendoAppDelegate.h"
#include "common/UserPaths.h"

namespace vessamo::cli {

nlohmann::json sourceToJson(const KTIOSDeviceNode& source) {
    nlohmann::json json;
    json["strBackupType"] = source.strBackupType;
    json["strDeviceName"] = source.strDeviceName;
    json["strDeviceSize"] = source.strDeviceSize;
    json["strDeviceBackUpTime"] = source.strDeviceBackUpTime;
    json["strDeviceSerial"] = source.strDeviceSerial;
    json["strDeviceType"] =
        source.strDeviceType ? nlohmann::json(*source.strDeviceType) : nlohmann::json(nullptr);
    json["strIOSVersion"] = source.strIOSVersion;
    json["itunesVersion"] = source.itunesVersion;
    json["backUpFilePath"] = source.backUpFilePath;
    json["beEncrypted"] = source.beEncrypted;
    json["deviceIndex"] = source.deviceIndex;
    return json;
}

namespace {

// Texts from backups may hold anything; a table must stay one line per row.
std::string cell(std::string text, size_t width) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    if (text.size() > width) {
        text = text.substr(0, width - 3) + "...";
    }
    return text;
}

void printTable(const std::vector<KTIOSDeviceController::Record>& records, std::ostream& out) {
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
}

}  // namespace

int runList(bool asJson, std::ostream& out, std::ostream& err) {
    ConsoleUiPort ui(err);
    OrlendoAppDelegate controller(ui);
    controller.showIphoneDiskView();
    controller.FindWhatsAppTimelineBackup();
    // Backups and iCloud Drive accounts, then the Timeline backups.
    std::vector<KTIOSDeviceController::Record> records =
        controller.GetKTIOSDeviceController().records();
    records.insert(records.end(), controller.timeBackupArray.begin(),
                   controller.timeBackupArray.end());
    if (asJson) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& record : records) {
            list.push_back(sourceToJson(*record));
        }
        out << list.dump(2) << '\n';
        return 0;
    }
    if (records.empty()) {
        out << "No sources found in " << UserPaths::userFolder() << '\n';
        return 0;
    }
    printTable(records, out);
    return 0;
}

}  // namespace vessamo::cli
