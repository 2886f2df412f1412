#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/UiPort.h"

namespace vessamo::gui {

// The core's way to a person, with Qt: alerts become window-modal sheets on
// the main window, panels are file dialogs, web addresses and folders go to
// the desktop. Any thread may call it; what needs the interface hops to the
// interface thread and waits there, as a sheet's completion would.
class QtUiPort : public QObject, public UiPort {
    Q_OBJECT

public:
    using UrlOpener = std::function<void(const QString& url)>;
    using FolderAnswer = std::function<std::optional<std::string>(const FolderPanelRequest&)>;
    using SaveAnswer = std::function<std::optional<std::string>(const SavePanelRequest&)>;

    explicit QtUiPort(QObject* parent = nullptr);
    ~QtUiPort() override;
    QtUiPort(const QtUiPort&) = delete;
    QtUiPort& operator=(const QtUiPort&) = delete;

    // The program is going. Workers still waiting for the interface thread,
    // and any that ask later, go on without their call being run, so the
    // interface thread may wait for them to end (a chat opener, a scan)
    // without both waiting for ever. A call already running finishes.
    void closeInterface();

    // The window sheets attach to; alerts before it exists are plain dialogs.
    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    [[nodiscard]] QWidget* mainWindow() const { return mainWindow_; }

    AlertAnswer showAlert(const AlertRequest& request) override;
    void showAccessGuide() override;
    void showBackupPane() override;
    void runOnMainThreadAndWait(const std::function<void()>& work) override;
    std::optional<std::string> chooseSavePath(const SavePanelRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderPanelRequest& request) override;
    std::optional<std::string> askPassword(const PasswordRequest& request) override;
    void revealInFileViewer(const std::string& path) override;
    void openFile(const std::string& path) override;
    void openURL(const std::string& url) override;

    // Where web addresses, files and folders go instead of the desktop; the
    // tests record them so no browser starts.
    void setUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }
    // Answers for the panels instead of file dialogs, for tests and scripts.
    void setFolderAnswer(FolderAnswer answer) { folderAnswer_ = std::move(answer); }
    void setSaveAnswer(SaveAnswer answer) { saveAnswer_ = std::move(answer); }

    // Every alert shown so far, in order.
    [[nodiscard]] std::vector<AlertRequest> alertsShown() const;

signals:
    void backupPaneRequested();
    void accessGuideRequested();

private:
    struct PendingCall;

    [[nodiscard]] bool onInterfaceThread() const;
    AlertAnswer showAlertHere(const AlertRequest& request);
    std::optional<std::string> showSaveSheet(const SavePanelRequest& request);
    void open(const QString& url);

    QPointer<QWidget> mainWindow_;
    UrlOpener urlOpener_;
    FolderAnswer folderAnswer_;
    SaveAnswer saveAnswer_;
    mutable std::mutex mutex_;
    std::vector<AlertRequest> alertsShown_;
    std::vector<std::shared_ptr<PendingCall>> pendingCalls_;  // guarded by mutex_
    bool closed_ = false;                                     // guarded by mutex_
};

}  // namespace vessamo::gui
