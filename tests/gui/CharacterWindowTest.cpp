// The character window: the scanned database's bytes as characters (a
// printable byte as itself, any other as "."), put into the view in slices
// with line breaks only for the eye, and its export to Documents/hexFile.txt
// that is then opened.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "CharacterWindow.h"
#include "GuiTestSupport.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace vessamo::test {
namespace {

using gui::CharacterWindow;

struct Window {
    Window() : window(harness.app(), &harness.window()) {}
    bool openAndWait(const std::string& file) {
        window.openFile(QString::fromStdString(file));
        return waitUntil([&] { return !window.isLoading(); });
    }

    GuiHarness harness{HarnessSources{.itunes = false}};
    CharacterWindow window;
};

TEST(CharacterWindow, PrintableBytesShowAsThemselvesEveryOtherAsADot) {
    Window test;
    const std::string file = test.harness.home() + "/db/ChatStorage.sqlite";
    writeFile(file, std::string("\x41\x00\xC3\x7F", 4));
    ASSERT_TRUE(test.openAndWait(file));
    EXPECT_TRUE(test.window.isVisible());
    EXPECT_EQ(test.window.textView()->toPlainText(), "A...");
    EXPECT_EQ(test.window.text(), "A...");
    EXPECT_TRUE(test.window.textView()->isReadOnly());
    EXPECT_TRUE(test.window.exportButton()->isEnabled());

    writeFile(file, std::string(" ~\x1f\x80\x0a\x0dz", 7));
    ASSERT_TRUE(test.openAndWait(file));
    EXPECT_EQ(test.window.text(), " ~....z") << "a second opening shows the file anew";
}

TEST(CharacterWindow, ALargeFileComesInSlicesInLinesForTheEyeOnly) {
    Window test;
    // Three slices, and a last line shorter than the others.
    const size_t size = 2 * CharacterWindow::kSliceBytes + 1000;
    std::string bytes(size, 'x');
    for (size_t at = 0; at < size; at += 97) {
        bytes[at] = '\x01';
    }
    const std::string file = test.harness.home() + "/big.sqlite";
    writeFile(file, bytes);
    QSignalSpy loaded(&test.window, &CharacterWindow::loaded);
    test.window.openFile(QString::fromStdString(file));
    ASSERT_TRUE(waitUntil([&] { return loaded.count() == 1; }, 60000));

    const QTextDocument* document = test.window.textView()->document();
    const int lines =
        static_cast<int>((size + CharacterWindow::kLineLength - 1) / CharacterWindow::kLineLength);
    EXPECT_EQ(document->blockCount(), lines);
    EXPECT_EQ(document->firstBlock().text().size(), CharacterWindow::kLineLength);
    EXPECT_EQ(document->lastBlock().text().size(),
              static_cast<int>(size % CharacterWindow::kLineLength));
    const QString text = test.window.text();
    ASSERT_EQ(static_cast<size_t>(text.size()), size);
    EXPECT_FALSE(text.contains(u'\n'));
    EXPECT_EQ(text.count(u'.'), static_cast<int>((size + 96) / 97));
    EXPECT_EQ(text.left(100), "." + QString(96, u'x') + "." + "xx");
    EXPECT_EQ(document->toPlainText().remove(u'\n'), text);
}

TEST(CharacterWindow, ExportWritesTheTextToDocumentsAndOpensIt) {
    Window test;
    const std::string file = test.harness.home() + "/db/ChatStorage.sqlite";
    writeFile(file, std::string("SQLite\x00\x10\x02rows", 13));
    ASSERT_TRUE(test.openAndWait(file));
    const std::string exported = test.harness.home() + "/Documents/hexFile.txt";
    writeFile(exported, "an older export");
    test.window.exportButton()->click();
    const QString url = QUrl::fromLocalFile(QString::fromStdString(exported)).toString();
    ASSERT_TRUE(waitUntil([&] { return test.harness.opened().contains(url); }))
        << "the written file was not opened";
    EXPECT_EQ(readFile(exported), "SQLite...rows");
}

TEST(CharacterWindow, OpensOnTheDatabaseTheScanRead) {
    GuiHarness harness;
    AlertAnswerer tip("Ok");
    harness.app().openPanelDidEnd1(harness.backupFolder());
    ASSERT_TRUE(harness.waitForScan());
    tip.wait(5000);
    const ScanResultPtr result = harness.app().currentResult();
    ASSERT_NE(result, nullptr);
    ASSERT_FALSE(result->currentScanPath.empty());

    CharacterWindow window(harness.app(), &harness.window());
    QSignalSpy loaded(&window, &CharacterWindow::loaded);
    window.open();
    ASSERT_TRUE(waitUntil([&] { return loaded.count() == 1; }, 30000));
    const QString text = window.text();
    EXPECT_TRUE(text.startsWith("SQLite format 3.")) << text.left(40).toStdString();
    EXPECT_EQ(static_cast<uintmax_t>(text.size()), fs::file_size(result->currentScanPath));
}

TEST(CharacterWindow, WithNothingScannedTheViewIsEmptyAndNothingCanBeExported) {
    Window test;
    QSignalSpy loaded(&test.window, &CharacterWindow::loaded);
    test.window.open();
    ASSERT_TRUE(waitUntil([&] { return loaded.count() == 1; }));
    EXPECT_TRUE(test.window.textView()->toPlainText().isEmpty());
    EXPECT_FALSE(test.window.exportButton()->isEnabled());
    EXPECT_FALSE(test.window.statusLabel()->text().isEmpty());
}

}  // namespace
}  // namespace vessamo::test
