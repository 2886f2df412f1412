#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vessamo {

// An alert or sheet with fixed texts. Buttons are listed first to last; the
// answer names the one chosen by its index.
struct AlertRequest {
    std::string title;
    std::string detail;
    std::vector<std::string> buttons{" Ok "};
    bool asSheet = false;
    // When set, the alert carries a "do not show again" box with this label.
    std::optional<std::string> suppressionLabel;
};

// The save sheet of the exports: where it starts and the name it proposes.
struct SavePanelRequest {
    std::string startFolder;
    std::string proposedName;
};

// An open panel for one folder: no files, no multiple selection.
struct FolderPanelRequest {
    std::string message;
    std::string startFolder;
};

// The password sheet of an encrypted backup. detail says why it asks again.
struct PasswordRequest {
    std::string title;
    std::string detail;
};

struct AlertAnswer {
    int button = 0;
    bool suppressed = false;
};

// The one way the core reaches a person. The desktop application shows real
// windows, the command line prints, tests record every text and answer with
// scripted choices. The core never talks to widgets.
class UiPort {
public:
    virtual ~UiPort() = default;

    virtual AlertAnswer showAlert(const AlertRequest& request) = 0;
    // Tells the user how to let the program read protected folders.
    virtual void showAccessGuide() = 0;
    // Switches the start page from the device pane to the backup list.
    virtual void showBackupPane() = 0;
    // Runs work on the interface thread and returns once it has run.
    virtual void runOnMainThreadAndWait(const std::function<void()>& work) = 0;

    // The chosen destination, or nullopt when the person cancelled. A front
    // end that cannot ask cancels, so nothing is written behind its back.
    virtual std::optional<std::string> chooseSavePath(const SavePanelRequest& request) {
        (void)request;
        return std::nullopt;
    }
    // Shows a finished export's folder, or opens a written file, in the
    // desktop's file viewer or editor. Front ends without one ignore it.
    virtual void revealInFileViewer(const std::string& path) { (void)path; }
    virtual void openFile(const std::string& path) { (void)path; }
    // Opens a web address in the person's browser. Front ends without one
    // ignore it.
    virtual void openURL(const std::string& url) { (void)url; }

    // The password typed, or nullopt when the person cancelled (or the
    // front end cannot ask).
    virtual std::optional<std::string> askPassword(const PasswordRequest& request) {
        (void)request;
        return std::nullopt;
    }

    // One folder chosen in an open panel shown with this message, or nullopt
    // when the person cancelled (or the front end cannot ask).
    virtual std::optional<std::string> chooseFolder(const FolderPanelRequest& request) {
        (void)request;
        return std::nullopt;
    }
};

}  // namespace vessamo
