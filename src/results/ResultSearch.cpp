#include "results/ResultSearch.h"

#include <algorithm>

#include "common/TextConversion.h"

namespace vessamo {

bool searchMatches(const KTWhatsAppCovNode& chat, const std::string& text) {
    return containsCaseInsensitive(chat.currentChatName, text) ||
           (chat.currentSubject && containsCaseInsensitive(*chat.currentSubject, text));
}

bool searchMatches(const KTWhatsAppResourceNode& resource, const std::string& text) {
    return containsCaseInsensitive(resource.nodeName, text) ||
           containsCaseInsensitive(resource.textContent, text);
}

bool searchMatches(const KTContactNode& contact, const std::string& text) {
    return containsCaseInsensitive(contact.contactName, text) ||
           containsCaseInsensitive(contact.contactPhone, text);
}

bool searchMatches(const KTWhatsAppFavContact& contact, const std::string& text) {
    return containsCaseInsensitive(contact.contactName, text) ||
           containsCaseInsensitive(contact.whatsAppID, text);
}

namespace {

// False when the search was asked to stop before it walked the whole list.
template <typename T>
bool collect(const std::vector<T>& records, const std::string& text, const std::atomic<bool>& stop,
             std::vector<T>& found) {
    for (const T& record : records) {
        if (stop) {
            return false;
        }
        if (searchMatches(*record, text)) {
            found.push_back(record);
        }
    }
    return !stop;
}

}  // namespace

ResultSearch::ResultSearch(UiPort& ui, ResultPages& pages) : ui_(ui), pages_(pages) {}

ResultSearch::~ResultSearch() {
    stopRunning();
    waitUntilIdle();
}

void ResultSearch::controlTextDidChange(const std::string& text) {
    if (text.empty()) {
        returnOriginTableView();
        return;
    }
    ResultCategory list = pages_.currentTableView();
    if (list == ResultCategory::Calls || list == ResultCategory::None) {
        return;  // the calls page has no search
    }
    stopRunning();
    reapFinished();
    auto job = std::make_unique<Job>();
    job->list = list;
    job->text = text;
    job->generation = ++generation_;
    job->records = recordsOfShowingList();
    pages_.clearShowingList();
    Job& started = *job;
    jobs_.push_back(std::move(job));
    started.thread = std::thread([this, &started] { StartSearchThread(started); });
}

void ResultSearch::returnOriginTableView() {
    // A search still running must not overwrite the full list afterwards.
    ++generation_;
    stopRunning();
    reapFinished();
    pages_.showCategory(pages_.currentTableView());
}

ResultSearch::Records ResultSearch::recordsOfShowingList() const {
    Records records;
    switch (pages_.currentTableView()) {
        case ResultCategory::Chats:
            records.chats = pages_.allChats();
            break;
        case ResultCategory::Attachments:
            records.resources = pages_.allResources();
            break;
        case ResultCategory::Contacts:
            records.contacts = pages_.allContacts();
            break;
        case ResultCategory::Favorites:
            records.favs = pages_.allFavs();
            break;
        case ResultCategory::Calls:
        case ResultCategory::None:
            break;
    }
    return records;
}

void ResultSearch::StartSearchThread(Job& job) {
    Records found;
    bool complete = collect(job.records.chats, job.text, job.bSearchStop, found.chats) &&
                    collect(job.records.resources, job.text, job.bSearchStop, found.resources) &&
                    collect(job.records.contacts, job.text, job.bSearchStop, found.contacts) &&
                    collect(job.records.favs, job.text, job.bSearchStop, found.favs);
    if (complete) {
        ui_.runOnMainThreadAndWait([this, &job, &found] { switchToFiterMainThread(job, found); });
    }
    job.finished = true;
}

void ResultSearch::switchToFiterMainThread(const Job& job, Records& found) {
    if (job.generation != generation_ || pages_.currentTableView() != job.list) {
        return;  // overtaken by a newer text or another page
    }
    switch (job.list) {
        case ResultCategory::Chats:
            pages_.showChats(std::move(found.chats));
            break;
        case ResultCategory::Attachments:
            pages_.showResources(std::move(found.resources));
            break;
        case ResultCategory::Contacts:
            pages_.showContacts(std::move(found.contacts));
            if (!pages_.contactRows().empty()) {
                pages_.tableViewSelectionDidChange(0);
            }
            break;
        case ResultCategory::Favorites:
            pages_.showFavs(std::move(found.favs));
            break;
        case ResultCategory::Calls:
        case ResultCategory::None:
            break;
    }
}

bool ResultSearch::bSearchThreadStart() const {
    return std::any_of(jobs_.begin(), jobs_.end(),
                       [](const std::unique_ptr<Job>& job) { return !job->finished; });
}

void ResultSearch::stopRunning() {
    for (const std::unique_ptr<Job>& job : jobs_) {
        job->bSearchStop = true;
    }
}

void ResultSearch::reapFinished() {
    auto done = std::stable_partition(
        jobs_.begin(), jobs_.end(), [](const std::unique_ptr<Job>& job) { return !job->finished; });
    for (auto it = done; it != jobs_.end(); ++it) {
        (*it)->thread.join();
    }
    jobs_.erase(done, jobs_.end());
}

void ResultSearch::waitUntilIdle() {
    for (const std::unique_ptr<Job>& job : jobs_) {
        if (job->thread.joinable()) {
            job->thread.join();
        }
    }
    jobs_.clear();
}

}  // namespace vessamo
