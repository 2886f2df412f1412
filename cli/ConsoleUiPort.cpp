#include "ConsoleUiPort.h"

#include <ostream>

namespace vessamo::cli {

void ConsoleUiPort::print(const std::string& line) {
    if (print_) {
        print_(line);
    } else {
        out_ << line << '\n';
    }
}

AlertAnswer ConsoleUiPort::showAlert(const AlertRequest& request) {
    print(request.title);
    if (!request.detail.empty()) {
        print(request.detail);
    }
    return AlertAnswer{};
}

void ConsoleUiPort::showAccessGuide() {
    print("The backup folder cannot be read. Allow this program to read it and try again.");
}

}  // namespace vessamo::cli
