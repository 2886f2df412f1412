#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/UiPort.h"
#include "common/Worker.h"
#include "results/ResultPages.h"

namespace vessamo {

// The search field above the WhatsApp lists. Each keystroke searches on a
// worker of its own over the lists the pages show, which the job holds so
// its records stay valid whatever the pages do meanwhile. A new keystroke
// asks the running searches to stop and does not wait for them: a search
// that was overtaken never shows its results, which is decided on the main
// thread by a generation number.
class ResultSearch {
public:
    ResultSearch(UiPort& ui, ResultPages& pages);
    ~ResultSearch();
    ResultSearch(const ResultSearch&) = delete;
    ResultSearch& operator=(const ResultSearch&) = delete;

    // The search field's text changed; main thread.
    void controlTextDidChange(const std::string& text);
    // Shows the showing list in full again.
    void returnOriginTableView();
    // Told on the main thread each time the showing list was replaced: emptied
    // for a new search, filled with a search's results (which arrive later
    // than the keystroke), or given back whole. A view reloads its rows then.
    void setRowsReplacedObserver(std::function<void()> observer);

private:
    struct Job {
        ResultCategory list = ResultCategory::None;
        std::string text;
        uint64_t generation = 0;
        ResultListsPtr lists;
    };
    // What one search found; only the vector of the searched list is filled.
    struct Found {
        std::vector<const KTWhatsAppCovNode*> chats;
        std::vector<const KTWhatsAppResourceNode*> resources;
        std::vector<const KTContactNode*> contacts;
        std::vector<const KTWhatsAppFavContact*> favs;
    };

    void StartSearchThread(const Job& job, const std::stop_token& stop);
    void switchToFiterMainThread(const Job& job, Found& found);
    void tellRowsReplaced() const;

    UiPort& ui_;
    ResultPages& pages_;
    std::atomic<uint64_t> generation_{0};
    std::function<void()> rowsReplaced_;  // set and called on the main thread only
    WorkerSet searches_;                  // last: stopped and joined before the rest goes
};

}  // namespace vessamo
