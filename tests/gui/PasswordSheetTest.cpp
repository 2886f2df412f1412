#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <future>
#include <thread>

#include "GuiTestSupport.h"
#include "PasswordSheet.h"
#include "QtUiPort.h"

namespace vessamo::test {
namespace {

gui::PasswordSheet* openSheet() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* sheet = qobject_cast<gui::PasswordSheet*>(widget); sheet && sheet->isVisible()) {
            return sheet;
        }
    }
    return nullptr;
}

QPushButton* buttonLabelled(QWidget* sheet, const QString& text) {
    for (QPushButton* button : sheet->findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

// The sheet runs an event loop of its own, so the test acts on it from a
// timer that fires inside that loop.
void whenShown(const std::function<void(gui::PasswordSheet*)>& act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (gui::PasswordSheet* sheet = openSheet()) {
            timer->stop();
            timer->deleteLater();
            act(sheet);
        }
    });
    timer->start(20);
}

bool answered(std::future<std::optional<std::string>>& typed) {
    return waitUntil(
        [&] { return typed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000);
}

// A worker asks, as the key derivation's worker does; the sheet answers on
// the interface thread while the window behind it keeps drawing.
TEST(PasswordSheetTest, AsksWindowModallyHidesTheTextAndSaysWhyItAsksAgain) {
    QWidget window;
    window.show();
    gui::QtUiPort ui;
    ui.setMainWindow(&window);

    bool modal = false;
    bool hidden = false;
    QString reason;
    whenShown([&](gui::PasswordSheet* sheet) {
        modal = sheet->parentWidget() == &window && sheet->windowModality() == Qt::WindowModal;
        hidden = sheet->field()->echoMode() == QLineEdit::Password;
        auto* line = sheet->findChild<QLabel*>(QStringLiteral("passwordReason"));
        reason = line != nullptr && !line->isHidden() ? line->text() : QString();
        QTest::keyClicks(sheet->field(), QStringLiteral("s3cret "));
        sheet->field()->insert(QStringLiteral("ünïcode"));  // typed through an input method
        buttonLabelled(sheet, QStringLiteral(" Scan "))->click();
    });
    auto typed = std::async(std::launch::async, [&ui] {
        return ui.askPassword({"Sample iPhone: enter its password", "Not that one."});
    });
    ASSERT_TRUE(answered(typed));
    EXPECT_EQ(typed.get(), std::optional<std::string>("s3cret ünïcode"));
    EXPECT_TRUE(modal);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(reason, QStringLiteral("Not that one."));

    // The first asking has no reason line; Cancel answers nothing.
    whenShown([&](gui::PasswordSheet* sheet) {
        auto* line = sheet->findChild<QLabel*>(QStringLiteral("passwordReason"));
        reason = line != nullptr && !line->isHidden() ? line->text() : QStringLiteral("(none)");
        QTest::keyClicks(sheet->field(), QStringLiteral("typed, then cancelled"));
        buttonLabelled(sheet, QStringLiteral(" Cancel "))->click();
    });
    typed = std::async(std::launch::async, [&ui] { return ui.askPassword({"Again", ""}); });
    ASSERT_TRUE(answered(typed));
    EXPECT_EQ(typed.get(), std::nullopt);
    EXPECT_EQ(reason, QStringLiteral("(none)"));
}

}  // namespace
}  // namespace vessamo::test
