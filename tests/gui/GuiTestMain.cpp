#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

// One application object for the whole process: widgets need it, and Qt
// allows only one. The offscreen platform keeps the tests off any display.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
