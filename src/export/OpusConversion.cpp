#include "export/OpusConversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "common/ChildProcess.h"
#include "common/Files.h"
#include "common/SystemLog.h"
#include "common/UserPaths.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

// The downloaded tool first, as it always was; a packaged decoder saves the
// download on systems that have one.
std::optional<std::string> findDecoder(ExportReport& report) {
    const std::string tool = decoderToolPath();
    std::error_code ec;
    if (fs::is_regular_file(tool, ec)) {
        fs::permissions(tool, static_cast<fs::perms>(0755), fs::perm_options::replace, ec);
        if (ec) {
            report.failures.push_back(tool + ": cannot make it executable: " + ec.message());
        }
        return tool;
    }
    return ChildProcess::findOnPath("opusdec");
}

// A relative path starting with "-" would read as an option to the tool.
std::string asArgument(const std::string& path) {
    return !path.empty() && path.front() == '/' ? path : "./" + path;
}

void decode(const std::string& decoder, const std::string& input, const std::string& output,
            const OpusConversionOptions& options, WavConversion& conversion) {
    const ChildProcess::Result run =
        ChildProcess::run(decoder, {asArgument(input), asArgument(output)}, options.timeout);
    std::error_code ec;
    if (!run.succeeded()) {
        conversion.report.failures.push_back("decoding " + input + ": " + decoder + " " +
                                             run.describeFailure());
    } else if (!fs::is_regular_file(output, ec)) {
        conversion.report.failures.push_back("decoding " + input + ": " + decoder +
                                             " wrote no file " + output);
    } else {
        ++conversion.report.filesWritten;
    }
}

void awaitTool(const std::string& input, const OpusConversionOptions& options,
               WavConversion& conversion) {
    conversion.awaitingTool = true;
    if (options.downloadTool) {
        options.downloadTool(input);
        return;
    }
    SystemLog::write("the decoder tool is missing; cannot convert " + input);
    conversion.report.failures.push_back(input + ": the decoder tool is missing");
}

// Not a predictable path in a folder everyone can write: the decoder would
// follow a link someone planted there.
std::optional<std::string> privatePlayFolder(ExportReport& report) {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    const std::string folder =
        (ec ? fs::path("/tmp") : temp).string() + "/vessamo-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        report.failures.push_back(folder + ": cannot create: " + std::strerror(errno));
        return std::nullopt;
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::getuid() || (status.st_mode & 0077) != 0) {
        report.failures.push_back(folder + ": not a private folder of this user");
        return std::nullopt;
    }
    return folder;
}

}  // namespace

std::string decoderToolPath() {
    return UserPaths::userFolder() + "/tmp/opusd";
}

WavConversion ConvertOPUStoWAVFileFormat(const std::string& opusPath,
                                         const OpusConversionOptions& options) {
    WavConversion conversion;
    const std::optional<std::string> decoder = findDecoder(conversion.report);
    if (!decoder) {
        awaitTool(opusPath, options, conversion);
        return conversion;
    }
    const std::optional<std::string> folder =
        options.playFolder.empty() ? privatePlayFolder(conversion.report) : options.playFolder;
    if (!folder) {
        return conversion;
    }
    conversion.path = *folder + "/" + safeFileName(fs::path(opusPath).stem().string()) + ".wav";
    decode(*decoder, opusPath, conversion.path, options, conversion);
    return conversion;
}

WavConversion ConvertSaveOPUSFiletoWAVFileFormat(const std::string& opusPath,
                                                 const OpusConversionOptions& options) {
    WavConversion conversion;
    const std::optional<std::string> decoder = findDecoder(conversion.report);
    if (!decoder) {
        conversion.path = opusPath;
        awaitTool(opusPath, options, conversion);
        return conversion;
    }
    conversion.path = fs::path(opusPath).replace_extension(".wav").string();
    if (conversion.path == opusPath) {
        conversion.path += ".wav";  // the decoder must not overwrite what it reads
    }
    decode(*decoder, opusPath, conversion.path, options, conversion);
    return conversion;
}

}  // namespace vessamo
