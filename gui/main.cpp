#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include "ScreenshotTour.h"
#include "Theme.h"
#include "VessamoApplication.h"

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("Vessamo");
    QApplication::setApplicationDisplayName("Vessamo");
    QApplication::setDesktopFileName("vessamo");
    QApplication::setWindowIcon(vessamo::gui::themedIcon("vessamo", ":/icons/vessamo.svg"));

    using vessamo::gui::VessamoApplication;
    VessamoApplication application(VessamoApplication::parse(QApplication::arguments().mid(1)));
    if (!application.ready()) {
        QMessageBox::critical(nullptr, "Vessamo", QString::fromStdString(application.error()));
        return 1;
    }
    application.start();
    // Screenshot mode (ScreenshotTour): `vessamo --screenshots DIR` saves the main screens as
    // PNGs in DIR and quits; any other start returns no tour.
    const auto tour = vessamo::gui::ScreenshotTour::fromArguments(QApplication::arguments(),
                                                                  application.mainWindow());
    return QApplication::exec();
}
