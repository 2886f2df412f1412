#include "DemoCommand.h"

#include <stdlib.h>

#include <filesystem>
#include <ostream>
#include <vector>

#include "ExportCommand.h"
#include "SampleCommand.h"

namespace vessamo::cli {

namespace fs = std::filesystem;

namespace {

std::string temporaryHome() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vessamo-demo-home-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data()) : std::string();
}

}  // namespace

int runDemo(const std::string& destination, std::ostream& out, std::ostream& err) {
    const std::string home = temporaryHome();
    if (home.empty()) {
        err << "Could not make a temporary user folder.\n";
        return 1;
    }
    // The whole run sees the sample's user folder as the user's own.
    setenv("VESSAMO_HOME", home.c_str(), 1);
    SampleOptions sample;
    sample.folder =
        home + "/Library/Application Support/MobileSync/Backup/00008030-001A2C3E0E01802E";
    if (int status = runSample(sample, out, err); status != 0) {
        return status;
    }
    ExportOptions exports;
    exports.folder = sample.folder;
    exports.destination = fs::absolute(destination).string();
    exports.deleted = true;
    const int status = runExport(exports, out, err);
    out << "\nOpen the chat pages in a browser: " << exports.destination << "/Chats/\n"
        << "The sample backup stays in " << home << '\n';
    return status;
}

}  // namespace vessamo::cli
