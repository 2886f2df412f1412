#include "ConsoleUiPort.h"

#include <ostream>

#include "common/SystemLog.h"

namespace vessamo::cli {

// The desktop's alerts speak of windows and menus; each command says the
// outcome in its own words, so the alert goes to the log (-v shows it).
AlertAnswer ConsoleUiPort::showAlert(const AlertRequest& request) {
    SystemLog::write(request.detail.empty() ? request.title : request.title + " " + request.detail);
    return AlertAnswer{};
}

void ConsoleUiPort::showAccessGuide() {
    out_ << "The backup folder cannot be read. Allow this program to read it and try again.\n";
}

}  // namespace vessamo::cli
