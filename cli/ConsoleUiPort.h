#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "common/UiPort.h"

namespace vessamo::cli {

// Alerts become lines on stderr; every question takes its default answer,
// since a script cannot click.
class ConsoleUiPort : public UiPort {
public:
    explicit ConsoleUiPort(std::ostream& out) : out_(out) {}
    // Routes every printed line through another writer, e.g. a progress bar.
    void setPrinter(std::function<void(const std::string&)> print) { print_ = std::move(print); }

    AlertAnswer showAlert(const AlertRequest& request) override;
    void showAccessGuide() override;
    void showBackupPane() override {}
    void runOnMainThreadAndWait(const std::function<void()>& work) override { work(); }

private:
    void print(const std::string& line);

    std::ostream& out_;
    std::function<void(const std::string&)> print_;
};

}  // namespace vessamo::cli
