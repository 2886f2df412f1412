#include "VessamoApplication.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "MainWindow.h"
#include "QtUiPort.h"
#include "app/OrlendoAppDelegate.h"
#include "app/TimelineLibrary.h"
#include "common/NotificationCenter.h"
#include "common/ScratchFolder.h"
#include "common/UserDefaults.h"
#include "common/UserPaths.h"
#include "sample/SampleICloudDrive.h"
#include "sample/SampleSources.h"
#include "sample/SampleTimeline.h"

namespace vessamo::gui {

namespace {

constexpr const char* kHomeVariable = "VESSAMO_HOME";

// The site settings win over the built-in addresses, so a build for another
// site needs only a settings file.
WebLinks linksFromSettings() {
    QSettings settings(VessamoApplication::settingsPath(), QSettings::IniFormat);
    const WebLinks builtIn = WebLinks::defaults();
    const QString site = settings.value("siteAddress").toString();
    const QString sibling = settings.value("siblingSiteAddress").toString();
    if (site.isEmpty() && sibling.isEmpty()) {
        return builtIn;
    }
    const std::string fallbackSibling = builtIn.otherProduct();
    return WebLinks(site.isEmpty() ? builtIn.site() : site.toStdString(),
                    sibling.isEmpty() ? fallbackSibling : sibling.toStdString());
}

// The write end is all a signal handler may touch; one application per process.
int signalPipe[2] = {-1, -1};

void onQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

VessamoApplication::Arguments VessamoApplication::parse(const QStringList& arguments) {
    Arguments parsed;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--sample")) {
            parsed.sample = true;
        }
    }
    return parsed;
}

QString VessamoApplication::settingsPath() {
    return QString::fromStdString(UserPaths::userFolder() + "/.config/vessamo/vessamo.conf");
}

VessamoApplication::VessamoApplication(Arguments arguments) {
    if (arguments.sample && !makeSampleHome()) {
        sampleHome_.reset();
    }
}

VessamoApplication::~VessamoApplication() {
    stopScanAndWait();
    if (signalNotifier_) {
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            std::signal(signal, SIG_DFL);
        }
        signalNotifier_.reset();
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    if (ui_) {
        ui_->setMainWindow(nullptr);
        ui_->closeInterface();
    }
    window_.reset();
    app_.reset();
    ui_.reset();
    notifications_.reset();
    if (sampleHome_) {
        if (previousHome_) {
            ::setenv(kHomeVariable, previousHome_->c_str(), 1);
        } else {
            ::unsetenv(kHomeVariable);
        }
    }
}

// A whole user folder as a phone owner's computer would hold it: an iTunes
// backup, a WhatsApp iCloud Drive account and a Timeline backup, each in
// the place the program looks for it.
bool VessamoApplication::makeSampleHome() {
    auto folder = ScratchFolder::create("vessamo-sample");
    if (!folder) {
        error_ = "Could not make a temporary folder for the sample.";
        return false;
    }
    sampleHome_ = std::make_unique<ScratchFolder>(std::move(*folder));
    const std::string home = sampleHome_->path();
    if (const char* previous = std::getenv(kHomeVariable)) {
        previousHome_ = previous;
    }
    ::setenv(kHomeVariable, home.c_str(), 1);
    // Every sample folder is new, so each run would count as the first and
    // open the product page again: the sample is a computer Vessamo knows.
    UserDefaults(UserDefaults::defaultPath()).setBool("Download", true);

    sample::DeviceInfo device;
    device.backupTime = std::time(nullptr);
    sample::WhatsAppSampleOptions world;
    world.deleteEvery = 9;  // something for the advanced recovery mode to find
    auto builder = sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb, device, world);
    std::string reason;
    if (!builder.write(sample::backupRootOf(home) + "/" + device.uniqueIdentifier, &reason)) {
        error_ = "Could not write the sample backup: " + reason;
        return false;
    }
    if (!sample::writeICloudAccount(home, "4915112345678", {})) {
        error_ = "Could not write the sample iCloud Drive account.";
        return false;
    }
    sample::TimelineSampleOptions timeline;
    timeline.whatsApp = world;
    const std::string timelineFolder =
        UserPaths::timelineFolder() + "/" + timelineFolderName(device.backupTime);
    if (!sample::writeTimelineSample(timelineFolder, timeline, &reason)) {
        error_ = "Could not write the sample Timeline backup: " + reason;
        return false;
    }
    return true;
}

// The scan's last steps run on this thread, so the wait keeps the event
// loop going instead of joining it.
void VessamoApplication::stopScanAndWait() {
    if (!app_ || !app_->isScanning()) {
        return;
    }
    app_->requestStop();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (!app_->isScanning()) {
            loop.quit();
        }
    });
    poll.start(20);
    loop.exec();
}

void VessamoApplication::quitOnSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        // exit, not quit: quit would close the windows, and the main one asks first.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

void VessamoApplication::start() {
    quitOnSignals();
    notifications_ = std::make_unique<NotificationCenter>();
    ui_ = std::make_unique<QtUiPort>();
    OrlendoAppDelegate::Options options;  // its paths follow VESSAMO_HOME, set by now
    options.links = linksFromSettings();
    app_ = std::make_unique<OrlendoAppDelegate>(*ui_, *notifications_, options);
    // Folders, the backup list and the Timeline list; then the window with
    // the source list and the result view built from them.
    app_->applicationDidFinishLaunching();
    window_ = std::make_unique<MainWindow>(*app_, *ui_);
    ui_->setMainWindow(window_.get());
    window_->show();
    app_->checkFirstLaunch();
}

}  // namespace vessamo::gui
