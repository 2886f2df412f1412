#include "DemoCommand.h"

#include <stdlib.h>

#include <exception>
#include <filesystem>
#include <optional>
#include <ostream>

#include "ExportCommand.h"
#include "SampleCommand.h"
#include "common/ScratchFolder.h"
#include "export/ReportExport.h"

namespace vessamo::cli {

namespace fs = std::filesystem;

namespace {

// Points VESSAMO_HOME at the demo's user folder while the demo runs.
class ScopedHome {
public:
    explicit ScopedHome(const std::string& home) {
        if (const char* old = std::getenv("VESSAMO_HOME")) {
            previous_ = old;
        }
        setenv("VESSAMO_HOME", home.c_str(), 1);
    }
    ~ScopedHome() {
        if (previous_) {
            setenv("VESSAMO_HOME", previous_->c_str(), 1);
        } else {
            unsetenv("VESSAMO_HOME");
        }
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

private:
    std::optional<std::string> previous_;
};

int sampleScanAndExport(const std::string& home, const std::string& destination, std::ostream& out,
                        std::ostream& err) {
    // The whole run sees the sample's user folder as the user's own.
    const ScopedHome scoped(home);
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
    // The report's index leads to every chat, its media and a search; the
    // plainer pages stay in Chats/ for those who want them.
    out << "\nOpen the chat report in a browser: " << exports.destination << '/' << kReportFolder
        << "/index.html\n";
    return status;
}

}  // namespace

int runDemo(const std::string& destination, std::ostream& out, std::ostream& err) {
    // The exports hold copies of everything they show, so the sample backup
    // is only material for this run: its folder goes when the run ends,
    // however it ends, and repeated demos leave nothing behind.
    std::optional<ScratchFolder> home = ScratchFolder::create("vessamo-demo-home");
    if (!home) {
        err << "Could not make a temporary user folder.\n";
        return 1;
    }
    try {
        return sampleScanAndExport(home->path(), destination, out, err);
    } catch (const std::exception& error) {
        err << "The demo stopped: " << error.what() << '\n';
        return 1;
    }
}

}  // namespace vessamo::cli
