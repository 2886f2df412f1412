#pragma once

#include <string>
#include <string_view>

#include "common/Files.h"
#include "common/Status.h"
#include "export/ExportReport.h"

namespace vessamo {

// The one door through which the chat report writes its own files (pages,
// indexes, cards): a folder made once, files renamed into place whole by
// the Files layer, each write counted or its failure noted in the report.
class ReportOutput {
public:
    ReportOutput(std::string folder, ExportReport& report)
        : folder_(std::move(folder)), report_(report) {}

    // Makes the folder and its parents; false (and a failure noted) when it
    // cannot be made.
    [[nodiscard]] bool prepare();

    // Writes name (a single component already made safe, or "Sub/name" for
    // a folder made through prepareSubfolder) below the folder.
    bool write(std::string_view name, std::string_view bytes);

    // A subfolder below the folder, made on first use.
    [[nodiscard]] bool prepareSubfolder(std::string_view name);

    [[nodiscard]] const std::string& folder() const { return folder_; }

private:
    friend class ReportStream;
    [[nodiscard]] std::string pathOf(std::string_view name) const;
    bool settle(const std::string& path, const Status& status);

    std::string folder_;
    ExportReport& report_;
};

// A report file too large to hold whole (the message index of a large
// backup), written in pieces and renamed into place once finished; one
// never finished is abandoned.
class ReportStream {
public:
    ReportStream(ReportOutput& output, std::string_view name)
        : output_(output),
          path_(output.pathOf(name)),
          writer_(path_, WriteMode::replace, Flush::none) {}

    void append(std::string_view bytes) { writer_.append(bytes); }
    bool finish() { return output_.settle(path_, writer_.commit()); }

private:
    ReportOutput& output_;
    std::string path_;
    AtomicFileWriter writer_;
};

}  // namespace vessamo
