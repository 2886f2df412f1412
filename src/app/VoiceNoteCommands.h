#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/UiPort.h"
#include "export/OpusConversion.h"

namespace vessamo {

// Playing and converting voice notes from the views. When no decoder is at
// hand the tool is fetched, and the note waiting for it is converted beside
// itself once the download has finished.
class VoiceNoteCommands {
public:
    struct Hooks {
        std::function<void()> DownloadToolAction;
        std::function<bool()> getDownloadFinish;
    };

    VoiceNoteCommands(UiPort& ui, Hooks hooks, OpusConversionOptions options = {});
    ~VoiceNoteCommands();
    VoiceNoteCommands(const VoiceNoteCommands&) = delete;
    VoiceNoteCommands& operator=(const VoiceNoteCommands&) = delete;

    // For the chat view's player: the wav in the play folder.
    WavConversion ConvertOPUStoWAVFileFormat(const std::string& opusPath);
    // For a file the person chose: the wav beside it, shown once written.
    WavConversion ConvertSaveOPUSFiletoWAVFileFormat(const std::string& opusPath);

    // One look at the download, as the waiting timer takes it every tenth
    // of a second: converts the waiting note once the tool has arrived.
    // True when that happened.
    bool CheckSyncDownloadhasCompleted();
    [[nodiscard]] std::string convertOpusPath() const;
    [[nodiscard]] bool isWaitingForTool() const;

private:
    void awaitDownload(const std::string& opusPath);
    void pollUntilDownloaded();
    void stopWaiting();

    UiPort& ui_;
    Hooks hooks_;
    OpusConversionOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::string convertOpusPath_;
    bool stop_ = false;
    bool waiterRunning_ = false;
    std::thread checkSyncTimer_;
};

}  // namespace vessamo
