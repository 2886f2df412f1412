#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "common/Status.h"
#include "export/ExportReport.h"

namespace vessamo {

// WhatsApp voice notes are Ogg Opus; we hand them to a decoder tool that
// takes the input and the output path as its two arguments.
struct OpusConversionOptions {
    // A decoder that runs longer than this is stopped and the run reported.
    std::chrono::milliseconds timeout = std::chrono::minutes(2);
    // Called with the voice note when no decoder is available. The caller
    // fetches the tool, remembers the file and converts it again once the
    // tool has arrived. Left empty, the missing tool is logged and reported.
    std::function<void(const std::string& opusPath)> downloadTool;
    // Where wav files for playing go; empty means a private folder of this
    // user under the system's temporary folder.
    std::string playFolder;
};

struct WavConversion {
    // The wav file's path — also when the decoder failed, as the views
    // expect; for a file converted beside itself while the tool is being
    // fetched, the input's path; empty when there is nothing to play yet.
    std::string path;
    bool awaitingTool = false;
    ExportReport report;
};

// userFolder() + "/tmp/opusd": where the downloaded decoder lives. It runs
// only while it is a regular file of this user that no one else can change
// and its SHA-256 is the one recorded when its download completed; a
// decoder found on PATH (opusdec) needs no such record.
[[nodiscard]] std::string decoderToolPath();
// userFolder() + "/.config/vessamo/opusd.sha256"
[[nodiscard]] std::string decoderChecksumPath();
// Records the checksum of the tool now at decoderToolPath(). Called where
// its download completes: the one moment the file is known to be ours.
[[nodiscard]] Status recordDownloadedDecoder();

// For playing: "<play folder>/<input's name without extension>.wav".
[[nodiscard]] WavConversion ConvertOPUStoWAVFileFormat(const std::string& opusPath,
                                                       const OpusConversionOptions& options = {});

// For a file the user chose: the wav goes beside it, extension replaced.
// Only a regular file is converted, and only beside itself in a folder
// this user can write.
[[nodiscard]] WavConversion ConvertSaveOPUSFiletoWAVFileFormat(
    const std::string& opusPath, const OpusConversionOptions& options = {});

}  // namespace vessamo
