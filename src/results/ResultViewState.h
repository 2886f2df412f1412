#pragma once

#include <string>
#include <string_view>

namespace vessamo {

// NoBackup stands for "no device connected" as well: both say there is
// nothing to scan yet. The three after it are the empty pages of the other
// placeholders of the source list.
enum class ResultPage {
    Start,
    Scanning,
    NoBackup,
    NoITunesBackup,
    NoICloudBackup,
    NoTimelineBackup,
    Results
};

// The category buttons of a source carry these numbers.
enum class ResultCategory {
    None = 0,
    Chats = 1,
    Attachments = 2,
    Calls = 3,
    Contacts = 4,
    Favorites = 5
};

// What the result view shows, kept apart from any toolkit so the desktop
// view, the command line and the tests read the same thing.
struct ResultViewState {
    ResultPage page = ResultPage::Start;
    ResultCategory category = ResultCategory::None;
    bool scanningAnimation = false;
    bool progressVisible = false;
    int progressValue = 0;
    std::string percentText;
    bool messageCountVisible = false;
    int messagesRead = 0;
    std::string messageCountText;  // filled when the state is read
    int recoveredMessages = 0;     // deleted messages the scan recovered so far
    bool stopButtonVisible = false;
    bool categoryButtonsEnabled = true;
    std::string fullWhatsAppLocation;
    std::string stageName;  // the scan stage running now, by its code name
};

// A few words a person understands for a scan stage's code name
// ("scanContactThread" -> "Reading the address book"); "" for none.
[[nodiscard]] std::string stageDescription(std::string_view stageName);

}  // namespace vessamo
