#include "backup/BackupTime.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <vector>

#ifdef __APPLE__
#include <sys/sysctl.h>
#endif

#include "common/SystemLog.h"

namespace vessamo {

namespace {

std::vector<std::string> blankSeparatedFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(text);
    while (std::getline(in, field, ' ')) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

SystemVersion getSystemVersionMajor() {
#ifdef __APPLE__
    char text[64] = {};
    size_t size = sizeof(text);
    int major = 0;
    int minor = 0;
    int bugFix = 0;
    if (sysctlbyname("kern.osproductversion", text, &size, nullptr, 0) != 0 ||
        std::sscanf(text, "%d.%d.%d", &major, &minor, &bugFix) < 2) {
        SystemLog::write("Unable to obtain system version: " + std::to_string(-1L));
        return SystemVersion{10, 0, 0};
    }
    return SystemVersion{major, minor, bugFix};
#else
    return SystemVersion{10, 15, 0};
#endif
}

std::string canonicalUtcText(std::time_t unixTime) {
    std::tm parts{};
    if (gmtime_r(&unixTime, &parts) == nullptr) {
        return {};
    }
    char text[40];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S +0000", &parts);
    return text;
}

std::string convertCurrentTimeZone2(const std::string& utcText, const SystemVersion& system) {
    if (system.minor < 7) {
        return utcText;
    }
    std::tm parts{};
    char zone[8] = {};
    if (std::sscanf(utcText.c_str(), "%4d-%2d-%2d %2d:%2d:%2d %7s", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, zone) != 7 ||
        std::string(zone) != "+0000") {
        return utcText;
    }
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    std::time_t when = timegm(&parts);
    std::tm local{};
    if (when == static_cast<std::time_t>(-1) || localtime_r(&when, &local) == nullptr) {
        return utcText;
    }
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string backupTimeOfFile(const std::string& path, const SystemVersion& system) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    std::string text = convertCurrentTimeZone2(canonicalUtcText(info.st_mtime), system);
    std::vector<std::string> fields = blankSeparatedFields(text);
    if (fields.size() >= 3) {
        return fields[0] + " " + fields[1];
    }
    return text;
}

}  // namespace vessamo
