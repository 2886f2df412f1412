// Opens the largest conversation of the million-message sample in the
// desktop application's conversation view and times it from the selection
// of its row until the view's first bubbles are laid out and painted.
// With "--save picture.png" it keeps a picture of the view at the end.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>
#include <vector>

#include "BenchSupport.h"
#include "ChatView.h"
#include "ChatViewModel.h"
#include "MillionMessageSample.h"
#include "QtUiPort.h"
#include "app/Scanner.h"
#include "results/ResultPages.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

constexpr int kRuns = 7;

bool processUntil(const std::function<bool()>& condition, int milliseconds = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The largest real conversation: the starred list gathers from them all.
size_t largestChatRow(const ResultPages& pages) {
    const auto& rows = pages.chatRows();
    const ScanResult& result = *pages.lists()->result;
    size_t largest = 0;
    size_t largestSize = 0;
    for (size_t row = 0; row < rows.size(); ++row) {
        const size_t size = result.messagesOf(*rows[row]).size();
        if (!rows[row]->bStarredCovMessage && size > largestSize) {
            largest = row;
            largestSize = size;
        }
    }
    return largest;
}

// Selects the row and returns the seconds until the view has painted it.
double openAndPaint(ResultPages& pages, gui::ChatView& view, size_t row) {
    const KTWhatsAppCovNode* wanted = pages.chatRows()[row];
    const auto start = std::chrono::steady_clock::now();
    pages.tableViewSelectionDidChange(row);
    if (!processUntil(
            [&] { return !pages.bstartloadChat() && pages.chatView().conversation == wanted; })) {
        std::fprintf(stderr, "the conversation did not open\n");
        std::exit(1);
    }
    view.showConversation();
    const QPixmap painted = view.grab();  // lays the list out and paints it
    const double seconds = bench::secondsSince(start);
    if (painted.isNull()) {
        std::exit(1);
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::optional<std::string> sample = bench::millionMessageSample();
    if (!sample) {
        return 1;
    }
    const std::string& folder = *sample;
    QApplication application(argc, argv);
    auto scanStart = std::chrono::steady_clock::now();
    ScanReporter quiet;
    const ScanResultPtr result =
        Scanner::scan(folder, Scanner::kindOfFolder(folder), ScanOptions{}, {}, quiet);
    std::printf("scanned %zu messages in %.2f s\n", result->WhatsAppChatArray.size(),
                bench::secondsSince(scanStart));

    gui::QtUiPort ui;
    ResultPages pages(ui);
    gui::ChatView view(pages);
    view.resize(900, 654);
    view.show();
    pages.setSource(result);
    pages.actClickChat();  // opens the first row, as the chat page does
    processUntil([&] { return pages.chatView().conversation != nullptr; });
    view.showConversation();

    // The largest chat, and the starred list, which gathers from them all.
    const auto& rows = pages.chatRows();
    std::vector<size_t> timed = {largestChatRow(pages)};
    for (size_t row = 0; row < rows.size(); ++row) {
        if (rows[row]->bStarredCovMessage) {
            timed.push_back(row);
        }
    }
    for (const size_t row : timed) {
        const size_t other = row == 0 ? 1 : 0;  // opened between runs
        std::vector<double> times;
        for (int run = 0; run < kRuns; ++run) {
            openAndPaint(pages, view, other);
            times.push_back(openAndPaint(pages, view, row));
        }
        std::sort(times.begin(), times.end());
        std::printf("%s: %zu messages, %zu rows made for %d shown\n",
                    rows[row]->currentChatName.str().c_str(), result->messagesOf(*rows[row]).size(),
                    view.model().rowsMaterialised(), view.model().rowCount());
        std::printf(
            "  select to painted     median %.1f ms, best %.1f ms, worst %.1f ms (%d runs)\n",
            times[times.size() / 2] * 1000, times.front() * 1000, times.back() * 1000, kRuns);
    }
    // "--save picture.png": the view as it looks once its pictures came.
    if (argc > 2 && std::string_view(argv[1]) == "--save") {
        processUntil([] { return false; }, 1000);
        view.grab().save(QString::fromLocal8Bit(argv[2]));
    }
    return 0;
}
