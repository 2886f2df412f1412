#pragma once

#include <string>

namespace vessamo {

enum class ResultPage { Start, Scanning, NoBackup, Results };

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
};

}  // namespace vessamo
