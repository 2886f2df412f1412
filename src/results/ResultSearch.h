#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/UiPort.h"
#include "results/ResultPages.h"

namespace vessamo {

// The search field above the WhatsApp lists. Each keystroke searches on a
// thread of its own over a copy of the showing list's record pointers, so
// the pages may change meanwhile. A new keystroke asks the running searches
// to stop and does not wait for them: a search that was overtaken never
// shows its results, which is decided on the main thread by a generation
// number. Finished threads are joined at the next keystroke and the
// destructor joins the rest.
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

    [[nodiscard]] bool bSearchThreadStart() const;
    // Joins every search thread. The searches' results reach the pages
    // through UiPort::runOnMainThreadAndWait, so call this only where that
    // cannot wait for the calling thread.
    void waitUntilIdle();

private:
    // Records of one list; only the vector of the searched list is filled.
    struct Records {
        std::vector<KTWhatsAppCovNodePtr> chats;
        std::vector<KTWhatsAppResourceNodePtr> resources;
        std::vector<KTContactNodePtr> contacts;
        std::vector<KTWhatsAppFavContactPtr> favs;
    };
    struct Job {
        ResultCategory list = ResultCategory::None;
        std::string text;
        uint64_t generation = 0;
        Records records;
        std::atomic<bool> bSearchStop{false};
        std::atomic<bool> finished{false};
        std::thread thread;
    };

    void StartSearchThread(Job& job);
    void switchToFiterMainThread(const Job& job, Records& found);
    void stopRunning();
    void reapFinished();
    [[nodiscard]] Records recordsOfShowingList() const;

    UiPort& ui_;
    ResultPages& pages_;
    std::atomic<uint64_t> generation_{0};
    std::vector<std::unique_ptr<Job>> jobs_;  // main thread only
};

// Case-insensitive substring test of a record's two search fields.
[[nodiscard]] bool searchMatches(const KTWhatsAppCovNode& chat, const std::string& text);
[[nodiscard]] bool searchMatches(const KTWhatsAppResourceNode& resource, const std::string& text);
[[nodiscard]] bool searchMatches(const KTContactNode& contact, const std::string& text);
[[nodiscard]] bool searchMatches(const KTWhatsAppFavContact& contact, const std::string& text);

}  // namespace vessamo
