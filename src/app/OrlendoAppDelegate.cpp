#include "app/OrlendoAppDelegate.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "common/UserPaths.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

// The integer value of a text's leading digits, 0 when there are none.
int32_t leadingInteger(const std::string& text) {
    return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

}  // namespace

OrlendoAppDelegate::OrlendoAppDelegate(UiPort& ui, const std::string& operatingSystemVersion)
    : ui_(ui) {
    applyVersionRule(operatingSystemVersion);
}

std::string OrlendoAppDelegate::hostVersionText() {
#ifdef __APPLE__
    SystemVersion v = getSystemVersionMajor();
    return "Version " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.bugFix);
#else
    return {};
#endif
}

void OrlendoAppDelegate::applyVersionRule(const std::string& text) {
    std::string compact = text;
    for (auto at = compact.find("Version"); at != std::string::npos;
         at = compact.find("Version")) {
        compact.erase(at, 7);
    }
    compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
    std::vector<std::string> parts = split(compact, '.');
    if (parts.size() >= 3) {
        macOsMajor = leadingInteger(parts[0]);
        macOsVer = leadingInteger(parts[1]);
    }
}

bool OrlendoAppDelegate::hasProtectedFolders() const {
#ifdef __APPLE__
    return macOsVer > 13 || macOsMajor >= 11;
#else
    return false;  // no protected-folder permission exists to guide the user to
#endif
}

bool OrlendoAppDelegate::IOSVersionIOS6(const std::string& version) {
    if (version.empty()) {
        return false;
    }
    std::string first = split(version, '.').front();
    biOS10version = first == "10" || first == "11" || first == "12" || first == "13" ||
                    leadingInteger(first) >= 10;
    return true;
}

bool OrlendoAppDelegate::rebuildList(bool atLaunch) {
    devices_.removeAll();
    const std::string root = UserPaths::backupRoot();
    std::vector<std::string> entries;
    std::error_code ec;
    fs::directory_iterator it(root, ec);
    if (ec && atLaunch && hasProtectedFolders()) {
        ui_.showAccessGuide();
        return false;
    }
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        entries.push_back(it->path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    for (const std::string& name : entries) {
        if (!name.empty() && name.front() != '.') {
            devices_.addDeviceNodeByPath(root + "/" + name);
        }
    }
    devices_.addiCloudDeviceNode();
    return true;
}

void OrlendoAppDelegate::showIphoneDiskView() { rebuildList(true); }

void OrlendoAppDelegate::actScanIOSBackupFile() {
    rebuildList(false);
    ui_.showBackupPane();
    if (devices_.records().empty()) {
        AlertRequest alert;
        alert.title = "No iTunes backup found. Please connect your device and extract from iOS device.";
        ui_.showAlert(alert);
    }
}

}  // namespace vessamo
