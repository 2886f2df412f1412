#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "common/UiPort.h"

namespace vessamo::cli {

// Alerts go to the log, the command saying the outcome itself; every
// question takes its default answer, since a script cannot click. The
// access guide is said on stderr.
class ConsoleUiPort : public UiPort {
public:
    explicit ConsoleUiPort(std::ostream& out) : out_(out) {}

    AlertAnswer showAlert(const AlertRequest& request) override;
    void showAccessGuide() override;
    void showBackupPane() override {}
    void runOnMainThreadAndWait(const std::function<void()>& work) override { work(); }

private:
    std::ostream& out_;
};

}  // namespace vessamo::cli
