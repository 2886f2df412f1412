#include "ConvertCommand.h"

#include <ostream>

#include "export/OpusConversion.h"

namespace vessamo::cli {

int runConvert(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
    bool failed = false;
    OpusConversionOptions options;
    options.downloadTool = [&err](const std::string& file) {
        err << "No decoder for " << file
            << ": install opus-tools (opusdec) or place the decoder tool in the user folder.\n";
    };
    for (const std::string& file : files) {
        WavConversion converted = ConvertSaveOPUSFiletoWAVFileFormat(file, options);
        for (const std::string& failure : converted.report.failures) {
            err << "failed: " << failure << '\n';
        }
        const bool ok = !converted.awaitingTool && converted.report.failures.empty();
        if (ok) {
            out << converted.path << '\n';
        }
        failed |= !ok;
    }
    return failed ? 1 : 0;
}

}  // namespace vessamo::cli
