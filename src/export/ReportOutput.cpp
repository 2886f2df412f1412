#include "export/ReportOutput.h"

namespace vessamo {

bool ReportOutput::prepare() {
    const Status made = makeFolders(folder_);
    if (!made.ok()) {
        report_.failures.push_back(folder_ + ": " + made.message());
    }
    return made.ok();
}

bool ReportOutput::prepareSubfolder(std::string_view name) {
    const std::string path = folder_ + "/" + std::string(name);
    const Status made = makeFolders(path);
    if (!made.ok()) {
        report_.failures.push_back(path + ": " + made.message());
    }
    return made.ok();
}

std::string ReportOutput::pathOf(std::string_view name) const {
    return folder_ + "/" + std::string(name);
}

bool ReportOutput::write(std::string_view name, std::string_view bytes) {
    const std::string path = pathOf(name);
    // Thousands of pages a run: renamed into place whole, not flushed one by one.
    return settle(path, writeFileAtomically(path, bytes, WriteMode::replace, Flush::none));
}

bool ReportOutput::settle(const std::string& path, const Status& status) {
    if (!status.ok()) {
        report_.failures.push_back(path + ": " + status.message());
        return false;
    }
    ++report_.filesWritten;
    return true;
}

}  // namespace vessamo
