#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>

#include "common/UiPort.h"
#include "common/Worker.h"
#include "export/OpusConversion.h"

namespace vessamo {

// Playing and converting voice notes from the views. When no decoder is at
// hand the tool is fetched, and the note waiting for it is converted once
// the download has finished: a file the person chose beside itself, a note
// that was to be played into the play folder, since it lies in a backup,
// which is never written.
class VoiceNoteCommands {
public:
    struct Hooks {
        std::function<void()> DownloadToolAction;
        std::function<bool()> getDownloadFinish;
    };

    VoiceNoteCommands(UiPort& ui, Hooks hooks, OpusConversionOptions options = {});
    ~VoiceNoteCommands() { waiter_.stopAndJoin(); }
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
    // What a note waiting for the tool was asked for.
    enum class Purpose { play, save };

    void awaitDownload(const std::string& opusPath, Purpose purpose);
    [[nodiscard]] OpusConversionOptions optionsFor(Purpose purpose);
    void pollUntilDownloaded(const std::stop_token& stop);

    UiPort& ui_;
    Hooks hooks_;
    OpusConversionOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable_any tick_;  // only ever woken by a stop request
    std::string convertOpusPath_;
    Purpose waitingPurpose_ = Purpose::save;
    bool polling_ = false;  // the waiter has not yet given up
    Worker waiter_;         // the timer that looks at the download
};

}  // namespace vessamo
