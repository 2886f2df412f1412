#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimerEvent>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

#include "common/UserDefaults.h"
#include "common/UserPaths.h"
#include "sample/SampleICloudDrive.h"
#include "sample/SampleSources.h"
#include "sample/SampleTimeline.h"

namespace vessamo::test {

namespace {

std::string writeBackup(const std::string& home, const HarnessSources& sources) {
    sample::DeviceInfo device;
    device.encrypted = sources.encrypted;
    sample::WhatsAppSampleOptions world;
    if (sources.messages > 0) {
        world.messages = sources.messages;
        world.smallMedia = true;
        world.mediaEvery = 50;
    }
    auto builder = sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb, device, world);
    const std::string folder = sample::backupRootOf(home) + "/" + device.uniqueIdentifier;
    std::string error;
    if (!builder.write(folder, &error)) {
        throw std::runtime_error("cannot write the sample backup: " + error);
    }
    return folder;
}

}  // namespace

UnansweredAlertGuard::UnansweredAlertGuard(int patienceMs) : patienceMs_(patienceMs) {
    clock_.start();
    startTimer(250);
}

void UnansweredAlertGuard::timerEvent(QTimerEvent*) {
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) {
            continue;
        }
        const qint64 seen = firstSeen_.try_emplace(box, clock_.elapsed()).first->second;
        if (clock_.elapsed() - seen < patienceMs_) {
            continue;
        }
        ADD_FAILURE() << "an alert nobody answered: " << box->text().toStdString();
        firstSeen_.erase(box);
        if (QAbstractButton* escape = box->escapeButton()) {
            escape->click();
        } else if (!box->buttons().isEmpty()) {
            box->buttons().front()->click();
        }
    }
}

bool waitUntil(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

GuiHarness::GuiHarness(HarnessSources sources) {
    if (sources.itunes) {
        backupFolder_ = writeBackup(home(), sources);
    }
    if (sources.icloud && !sample::writeICloudAccount(home(), "Account1", {})) {
        throw std::runtime_error("cannot write the sample iCloud Drive account");
    }
    if (sources.timeline &&
        !sample::writeTimelineSample(UserPaths::timelineFolder() + "/2022-01-15 - 13.20.00")) {
        throw std::runtime_error("cannot write the sample Timeline backup");
    }
    ui_.setUrlOpener([this](const QString& url) { opened_.push_back(url); });
    OrlendoAppDelegate::Options options;
    if (sources.firstLaunchDone) {
        UserDefaults(options.defaultsPath).setBool("Download", true);
    }
    app_ = std::make_unique<OrlendoAppDelegate>(ui_, notifications_, options);
    app_->applicationDidFinishLaunching();
    window_ = std::make_unique<gui::MainWindow>(*app_, ui_);
    ui_.setMainWindow(window_.get());
    window_->show();
    app_->checkFirstLaunch();
}

GuiHarness::~GuiHarness() {
    if (app_ && app_->isScanning()) {
        app_->requestStop();
        // The scan's worker may wait for this thread to answer a call, so
        // the program cannot go while it runs: destroying it then would
        // hang the test until ctest kills it, with nothing said.
        if (!waitForScan(240000)) {
            std::fprintf(stderr, "GuiHarness: the scan did not stop within 4 minutes\n");
            std::fflush(stderr);
            std::abort();
        }
    }
    ui_.setMainWindow(nullptr);
    // A chat opener or search may still wait for this thread; they end
    // without their call while the program goes.
    ui_.closeInterface();
    window_.reset();
    app_.reset();
}

bool GuiHarness::waitForScan(int milliseconds) {
    return waitUntil([this] { return !app_->isScanning(); }, milliseconds);
}

AlertAnswerer::AlertAnswerer(QString button, bool tickCheckBox)
    : button_(std::move(button).trimmed()), tick_(tickCheckBox) {
    startTimer(20);
}

bool AlertAnswerer::wait(int milliseconds) {
    return waitUntil([this] { return answered(); }, milliseconds);
}

void AlertAnswerer::timerEvent(QTimerEvent* event) {
    if (answered()) {
        killTimer(event->timerId());
        return;
    }
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) {
            continue;
        }
        AnsweredAlert seen{box->text(), box->informativeText(), {}, box->checkBox() != nullptr};
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.push_back(button->text());
            if (button->text().trimmed() == button_) {
                chosen = button;
            }
        }
        if (chosen == nullptr) {
            continue;  // not the alert this answerer waits for
        }
        if (tick_ && box->checkBox() != nullptr) {
            box->checkBox()->setChecked(true);
        }
        answered_ = seen;
        killTimer(event->timerId());
        chosen->click();
        return;
    }
}

}  // namespace vessamo::test
