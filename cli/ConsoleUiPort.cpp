#include "ConsoleUiPort.h"

#include <ostream>

namespace vessamo::cli {

AlertAnswer ConsoleUiPort::showAlert(const AlertRequest& request) {
    out_ << request.title << '\n';
    if (!request.detail.empty()) {
        out_ << request.detail << '\n';
    }
    return AlertAnswer{};
}

void ConsoleUiPort::showAccessGuide() {
    out_ << "The backup folder cannot be read. Allow this program to read it and try again.\n";
}

}  // namespace vessamo::cli
