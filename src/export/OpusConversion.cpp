#include "export/OpusConversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "common/ChildProcess.h"
#include "common/Files.h"
#include "common/Sha256.h"
#include "common/SystemLog.h"
#include "common/UserPaths.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return text;
}

// Why the downloaded tool may not run; nullopt when it may. Anyone who can
// put a file at that path would otherwise have it run as this user: it
// runs only as the very file whose download this program saw complete.
std::optional<std::string> untrustedBecause(const std::string& tool) {
    struct stat info {};
    if (::lstat(tool.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return "it is not a regular file";
    }
    if (info.st_uid != ::getuid()) {
        return "it belongs to another user";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "other users can change it";
    }
    struct stat folder {};
    const std::string parent = fs::path(tool).parent_path().string();
    if (::stat(parent.c_str(), &folder) != 0 || folder.st_uid != ::getuid() ||
        (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "other users can replace it in its folder";
    }
    const StatusOr<std::string> recorded = readWholeFile(decoderChecksumPath(), 1024);
    if (!recorded.ok()) {
        return "no checksum was recorded when it was downloaded";
    }
    const StatusOr<std::string> bytes = readWholeFile(tool);
    if (!bytes.ok()) {
        return "it cannot be read: " + bytes.status().message();
    }
    if (Sha256::ofBytes(*bytes) != trimmed(*recorded)) {
        return "it is not the file this program downloaded (its checksum differs)";
    }
    return std::nullopt;
}

struct DecoderChoice {
    std::optional<std::string> program;
    bool refused = false;  // a tool is there but may not run: nothing to download
};

// The downloaded tool first, as it always was, once it has passed its
// checks; a packaged decoder saves the download on systems that have one.
DecoderChoice findDecoder(ExportReport& report) {
    const std::string tool = decoderToolPath();
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(tool, ec))) {
        return {ChildProcess::findOnPath("opusdec"), false};
    }
    if (const std::optional<std::string> why = untrustedBecause(tool)) {
        const std::string refused =
            tool + " was not run: " + *why + ". Remove it, or install opus-tools (opusdec).";
        SystemLog::write(refused);
        if (std::optional<std::string> packaged = ChildProcess::findOnPath("opusdec")) {
            return {std::move(packaged), false};
        }
        report.failures.push_back(refused);
        return {std::nullopt, true};
    }
    fs::permissions(tool, static_cast<fs::perms>(0755), fs::perm_options::replace, ec);
    if (ec) {
        report.failures.push_back(tool + ": cannot make it executable: " + ec.message());
    }
    return {tool, false};
}

// Only a regular file is handed to the decoder: a FIFO or a device would
// keep it reading for ever.
bool convertible(const std::string& input, ExportReport& report) {
    struct stat info {};
    if (::stat(input.c_str(), &info) != 0) {
        report.failures.push_back(input + ": " + std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        report.failures.push_back(input + ": not a regular file; only voice note files convert");
        return false;
    }
    return true;
}

// A relative path starting with "-" would read as an option to the tool.
std::string asArgument(const std::string& path) {
    return !path.empty() && path.front() == '/' ? path : "./" + path;
}

void decode(const std::string& decoder, const std::string& input, const std::string& output,
            const OpusConversionOptions& options, WavConversion& conversion) {
    const ChildProcess::Result run =
        ChildProcess::run(decoder, {asArgument(input), asArgument(output)}, options.timeout,
                          ChildProcess::Output::capture);
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

// Said before the decoder runs, which would only say it could not open
// its output.
bool writableBeside(const std::string& output, WavConversion& conversion) {
    const std::string folder = fs::path(output).parent_path().string();
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) {
        conversion.report.failures.push_back("cannot write " + output + ": " +
                                             std::strerror(errno));
        return false;
    }
    return true;
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

std::string decoderChecksumPath() {
    return UserPaths::userFolder() + "/.config/vessamo/opusd.sha256";
}

Status recordDownloadedDecoder() {
    const StatusOr<std::string> bytes = readWholeFile(decoderToolPath());
    if (!bytes.ok()) {
        return bytes.status();
    }
    const std::string path = decoderChecksumPath();
    if (Status made = makeFolders(fs::path(path).parent_path().string()); !made.ok()) {
        return made;
    }
    return writeFileAtomically(path, Sha256::ofBytes(*bytes) + "\n");
}

WavConversion ConvertOPUStoWAVFileFormat(const std::string& opusPath,
                                         const OpusConversionOptions& options) {
    WavConversion conversion;
    if (!convertible(opusPath, conversion.report)) {
        return conversion;
    }
    const DecoderChoice decoder = findDecoder(conversion.report);
    if (!decoder.program) {
        if (!decoder.refused) {
            awaitTool(opusPath, options, conversion);
        }
        return conversion;
    }
    const std::optional<std::string> folder =
        options.playFolder.empty() ? privatePlayFolder(conversion.report) : options.playFolder;
    if (!folder) {
        return conversion;
    }
    conversion.path = *folder + "/" + safeFileName(fs::path(opusPath).stem().string()) + ".wav";
    decode(*decoder.program, opusPath, conversion.path, options, conversion);
    return conversion;
}

WavConversion ConvertSaveOPUSFiletoWAVFileFormat(const std::string& opusPath,
                                                 const OpusConversionOptions& options) {
    WavConversion conversion;
    conversion.path = fs::path(opusPath).replace_extension(".wav").string();
    if (conversion.path == opusPath) {
        conversion.path += ".wav";  // the decoder must not overwrite what it reads
    }
    if (!convertible(opusPath, conversion.report) || !writableBeside(conversion.path, conversion)) {
        return conversion;
    }
    const DecoderChoice decoder = findDecoder(conversion.report);
    if (!decoder.program) {
        if (!decoder.refused) {
            conversion.path = opusPath;
            awaitTool(opusPath, options, conversion);
        }
        return conversion;
    }
    decode(*decoder.program, opusPath, conversion.path, options, conversion);
    return conversion;
}

}  // namespace vessamo
