#include <QApplication>
#include <QIcon>
#include <QMessageBox>

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
    return QApplication::exec();
}
