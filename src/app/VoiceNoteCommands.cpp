#include "app/VoiceNoteCommands.h"

#include <chrono>

#include "common/SystemLog.h"

namespace vessamo {

namespace {

constexpr std::chrono::milliseconds kPollInterval{100};

}  // namespace

VoiceNoteCommands::VoiceNoteCommands(UiPort& ui, Hooks hooks, OpusConversionOptions options)
    : ui_(ui), hooks_(std::move(hooks)), options_(std::move(options)) {}

// Conversions asked for while no decoder exists wait for the download;
// without a way to fetch one the core logs the missing tool instead.
OpusConversionOptions VoiceNoteCommands::optionsFor(Purpose purpose) {
    OpusConversionOptions options = options_;
    if (hooks_.DownloadToolAction) {
        options.downloadTool = [this, purpose](const std::string& opusPath) {
            awaitDownload(opusPath, purpose);
        };
    }
    return options;
}

WavConversion VoiceNoteCommands::ConvertOPUStoWAVFileFormat(const std::string& opusPath) {
    return vessamo::ConvertOPUStoWAVFileFormat(opusPath, optionsFor(Purpose::play));
}

WavConversion VoiceNoteCommands::ConvertSaveOPUSFiletoWAVFileFormat(const std::string& opusPath) {
    WavConversion conversion =
        vessamo::ConvertSaveOPUSFiletoWAVFileFormat(opusPath, optionsFor(Purpose::save));
    if (!conversion.awaitingTool) {
        ui_.revealInFileViewer(conversion.path);
    }
    return conversion;
}

// One waiting note at a time: a later request replaces the earlier one, and
// the single waiter converts whichever is waiting when the tool arrives.
void VoiceNoteCommands::awaitDownload(const std::string& opusPath, Purpose purpose) {
    {
        const std::lock_guard lock(mutex_);
        convertOpusPath_ = opusPath;
        waitingPurpose_ = purpose;
        if (polling_) {
            return;  // one download serves every waiting request
        }
        polling_ = true;
    }
    waiter_.join();  // a waiter that gave up is at most returning
    waiter_.start([this](std::stop_token stop) { pollUntilDownloaded(stop); });
    hooks_.DownloadToolAction();
}

// Gives up once nothing is left waiting (converted here, or by a direct
// look), decided under the lock a new request takes: no request is ever
// left without a waiter.
void VoiceNoteCommands::pollUntilDownloaded(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        lock.unlock();
        CheckSyncDownloadhasCompleted();
        lock.lock();
        if (convertOpusPath_.empty()) {
            break;
        }
        tick_.wait_for(lock, stop, kPollInterval, [] { return false; });
    }
    polling_ = false;
}

bool VoiceNoteCommands::CheckSyncDownloadhasCompleted() {
    if (!hooks_.getDownloadFinish || !hooks_.getDownloadFinish()) {
        return false;
    }
    std::string waiting;
    Purpose purpose = Purpose::save;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        waiting.swap(convertOpusPath_);
        purpose = waitingPurpose_;
    }
    if (waiting.empty()) {
        return false;
    }
    if (const Status recorded = recordDownloadedDecoder(); !recorded.ok()) {
        SystemLog::write("The downloaded decoder cannot be checked, so it will not run: " +
                         recorded.message());
    }
    OpusConversionOptions once = options_;
    once.downloadTool = nullptr;  // the tool is here; do not ask again
    if (purpose == Purpose::play) {
        // Ready in the play folder for the next press of play; a folder of
        // our own is nothing to show the person.
        (void)vessamo::ConvertOPUStoWAVFileFormat(waiting, once);
        return true;
    }
    const WavConversion conversion = vessamo::ConvertSaveOPUSFiletoWAVFileFormat(waiting, once);
    ui_.runOnMainThreadAndWait([&] { ui_.revealInFileViewer(conversion.path); });
    return true;
}

std::string VoiceNoteCommands::convertOpusPath() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return convertOpusPath_;
}

bool VoiceNoteCommands::isWaitingForTool() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !convertOpusPath_.empty();
}

}  // namespace vessamo
