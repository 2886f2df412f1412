#include "QtUiPort.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <condition_variable>
#include "PasswordSheet.h"

namespace vessamo::gui {

namespace {

QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

// The fixed texts pad their buttons with blanks (" Ok "); a button is
// recognised by its words.
bool isCancelButton(const std::string& text) {
    return QString::fromStdString(text).trimmed() == QStringLiteral("Cancel");
}

}  // namespace

// One worker's call waiting for the interface thread. The worker leaves
// without it only while it has not started: the call refers to the
// worker's own stack.
struct QtUiPort::PendingCall {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool done = false;
    bool abandoned = false;
    bool closing = false;
};

QtUiPort::QtUiPort(QObject* parent) : QObject(parent) {}

QtUiPort::~QtUiPort() {
    // Queued calls die with this object unrun: their workers must not wait.
    closeInterface();
}

bool QtUiPort::onInterfaceThread() const {
    return QThread::currentThread() == thread();
}

void QtUiPort::runOnMainThreadAndWait(const std::function<void()>& work) {
    if (onInterfaceThread()) {
        work();
        return;
    }
    auto call = std::make_shared<PendingCall>();
    {
        const std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        pendingCalls_.push_back(call);
    }
    QMetaObject::invokeMethod(
        this,
        [call, &work] {
            {
                const std::lock_guard lock(call->mutex);
                if (call->abandoned) {
                    return;
                }
                call->started = true;
            }
            work();
            const std::lock_guard lock(call->mutex);
            call->done = true;
            call->changed.notify_all();
        },
        Qt::QueuedConnection);
    {
        std::unique_lock lock(call->mutex);
        call->changed.wait(lock, [&] { return call->done || (call->closing && !call->started); });
        call->abandoned = !call->done;
    }
    const std::lock_guard lock(mutex_);
    std::erase(pendingCalls_, call);
}

void QtUiPort::closeInterface() {
    std::vector<std::shared_ptr<PendingCall>> waiting;
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        waiting = pendingCalls_;
    }
    for (const std::shared_ptr<PendingCall>& call : waiting) {
        const std::lock_guard lock(call->mutex);
        call->closing = true;
        call->changed.notify_all();
    }
}

AlertAnswer QtUiPort::showAlert(const AlertRequest& request) {
    {
        const std::lock_guard lock(mutex_);
        alertsShown_.push_back(request);
    }
    AlertAnswer answer;
    runOnMainThreadAndWait([&] { answer = showAlertHere(request); });
    return answer;
}

// A sheet: modal to the main window only, answered through its own event
// loop so the caller gets the answer as a return value while the rest of
// the program keeps drawing and the scan keeps reporting.
AlertAnswer QtUiPort::showAlertHere(const AlertRequest& request) {
    QPointer<QMessageBox> box = new QMessageBox(mainWindow_);
    box->setWindowTitle(QStringLiteral("Vessamo"));
    box->setText(qtext(request.title));
    if (!request.detail.empty()) {
        box->setInformativeText(qtext(request.detail));
    }
    box->setIcon(request.buttons.size() > 1 ? QMessageBox::Question : QMessageBox::Information);
    std::vector<QAbstractButton*> buttons;
    for (const std::string& text : request.buttons) {
        const auto role = isCancelButton(text) ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
        buttons.push_back(box->addButton(qtext(text), role));
    }
    if (!buttons.empty()) {
        box->setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
    }
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (isCancelButton(request.buttons[i]) || buttons.size() == 1) {
            box->setEscapeButton(buttons[i]);
        }
    }
    if (request.suppressionLabel) {
        box->setCheckBox(new QCheckBox(qtext(*request.suppressionLabel), box));
    }
    box->setWindowModality(mainWindow_ ? Qt::WindowModal : Qt::ApplicationModal);

    QEventLoop loop;
    connect(box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    connect(box, &QObject::destroyed, &loop, &QEventLoop::quit);
    box->open();
    loop.exec();

    AlertAnswer answer;
    if (!box) {
        // The window went away under the sheet: the default answer stands.
        return answer;
    }
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box->clickedButton() == buttons[i]) {
            answer.button = static_cast<int>(i);
        }
    }
    answer.suppressed = box->checkBox() != nullptr && box->checkBox()->isChecked();
    box->deleteLater();
    return answer;
}

std::optional<std::string> QtUiPort::askPassword(const PasswordRequest& request) {
    std::optional<std::string> typed;
    runOnMainThreadAndWait([&] { typed = PasswordSheet::ask(mainWindow_, request); });
    return typed;
}

std::vector<AlertRequest> QtUiPort::alertsShown() const {
    const std::lock_guard lock(mutex_);
    return alertsShown_;
}

void QtUiPort::showAccessGuide() {
    runOnMainThreadAndWait([this] { emit accessGuideRequested(); });
}

void QtUiPort::showBackupPane() {
    runOnMainThreadAndWait([this] { emit backupPaneRequested(); });
}

std::optional<std::string> QtUiPort::chooseSavePath(const SavePanelRequest& request) {
    std::optional<std::string> chosen;
    runOnMainThreadAndWait([&] {
        if (saveAnswer_) {
            chosen = saveAnswer_(request);
            return;
        }
        chosen = showSaveSheet(request);
    });
    return chosen;
}

// A sheet on the main window, like the alerts: modal to that window only,
// answered through its own event loop. It opens in the start folder (made
// when the user folder has none yet) with the proposed name filled in.
std::optional<std::string> QtUiPort::showSaveSheet(const SavePanelRequest& request) {
    const QString start = qtext(request.startFolder);
    if (!start.isEmpty()) {
        QDir().mkpath(start);
    }
    QPointer<QFileDialog> sheet = new QFileDialog(mainWindow_);
    sheet->setObjectName("saveSheet");
    sheet->setWindowTitle(QStringLiteral("Vessamo"));
    sheet->setAcceptMode(QFileDialog::AcceptSave);
    sheet->setFileMode(QFileDialog::AnyFile);
    sheet->setDirectory(start);
    sheet->selectFile(qtext(request.proposedName));
    sheet->setWindowModality(mainWindow_ ? Qt::WindowModal : Qt::ApplicationModal);

    QEventLoop loop;
    connect(sheet, &QFileDialog::finished, &loop, &QEventLoop::quit);
    connect(sheet, &QObject::destroyed, &loop, &QEventLoop::quit);
    sheet->open();
    loop.exec();

    std::optional<std::string> chosen;
    if (!sheet) {
        return chosen;  // the window went away under the sheet: cancelled
    }
    const QStringList files = sheet->selectedFiles();
    if (sheet->result() == QDialog::Accepted && !files.isEmpty() && !files.front().isEmpty()) {
        chosen = files.front().toStdString();
    }
    sheet->deleteLater();
    return chosen;
}

std::optional<std::string> QtUiPort::chooseFolder(const FolderPanelRequest& request) {
    std::optional<std::string> chosen;
    runOnMainThreadAndWait([&] {
        if (folderAnswer_) {
            chosen = folderAnswer_(request);
            return;
        }
        const QString path = QFileDialog::getExistingDirectory(mainWindow_, qtext(request.message),
                                                               qtext(request.startFolder),
                                                               QFileDialog::ShowDirsOnly);
        if (!path.isEmpty()) {
            chosen = path.toStdString();
        }
    });
    return chosen;
}

void QtUiPort::revealInFileViewer(const std::string& path) {
    // File managers open folders; a file is shown by the folder it is in.
    const QFileInfo info(qtext(path));
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    open(QUrl::fromLocalFile(folder).toString());
}

void QtUiPort::openFile(const std::string& path) {
    open(QUrl::fromLocalFile(qtext(path)).toString());
}

void QtUiPort::openURL(const std::string& url) {
    open(qtext(url));
}

void QtUiPort::open(const QString& url) {
    runOnMainThreadAndWait([&] {
        if (urlOpener_) {
            urlOpener_(url);
        } else {
            QDesktopServices::openUrl(QUrl(url));
        }
    });
}

}  // namespace vessamo::gui
