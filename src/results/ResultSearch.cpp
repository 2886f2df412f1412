#include "results/ResultSearch.h"

#include "common/TextConversion.h"

namespace vessamo {

namespace {

// A plain substring test, in any case, of a record's two search fields.
bool searchMatches(const KTWhatsAppCovNode& chat, std::string_view text) {
    return containsCaseInsensitive(chat.currentChatName, text) ||
           (chat.currentSubject && containsCaseInsensitive(*chat.currentSubject, text));
}

bool searchMatches(const KTWhatsAppResourceNode& resource, std::string_view text) {
    return containsCaseInsensitive(resource.nodeName, text) ||
           containsCaseInsensitive(resource.textContent, text);
}

bool searchMatches(const KTContactNode& contact, std::string_view text) {
    return containsCaseInsensitive(contact.contactName, text) ||
           containsCaseInsensitive(contact.contactPhone, text);
}

bool searchMatches(const KTWhatsAppFavContact& contact, std::string_view text) {
    return containsCaseInsensitive(contact.contactName, text) ||
           containsCaseInsensitive(contact.whatsAppID, text);
}

// False when the search was asked to stop before it walked the whole list.
template <typename T>
bool collect(const std::vector<const T*>& records, std::string_view text,
             const std::stop_token& stop, std::vector<const T*>& found) {
    for (const T* record : records) {
        if (stop.stop_requested()) {
            return false;
        }
        if (searchMatches(*record, text)) {
            found.push_back(record);
        }
    }
    return !stop.stop_requested();
}

}  // namespace

ResultSearch::ResultSearch(UiPort& ui, ResultPages& pages) : ui_(ui), pages_(pages) {}

ResultSearch::~ResultSearch() = default;

void ResultSearch::controlTextDidChange(const std::string& text) {
    if (text.empty()) {
        returnOriginTableView();
        return;
    }
    const ResultCategory list = pages_.currentTableView();
    if (list == ResultCategory::Calls || list == ResultCategory::None) {
        return;  // the calls page has no search
    }
    searches_.requestStopAll();
    Job job{list, text, ++generation_, pages_.lists()};
    pages_.clearShowingList();
    tellRowsReplaced();
    searches_.start([this, job = std::move(job)](const std::stop_token& stop) {
        StartSearchThread(job, stop);
    });
}

void ResultSearch::returnOriginTableView() {
    // A search still running must not overwrite the full list afterwards.
    ++generation_;
    searches_.requestStopAll();
    pages_.showCategory(pages_.currentTableView());
    tellRowsReplaced();
}

void ResultSearch::setRowsReplacedObserver(std::function<void()> observer) {
    rowsReplaced_ = std::move(observer);
}

void ResultSearch::tellRowsReplaced() const {
    if (rowsReplaced_) {
        rowsReplaced_();
    }
}

void ResultSearch::StartSearchThread(const Job& job, const std::stop_token& stop) {
    Found found;
    const ResultLists& lists = *job.lists;
    bool complete = false;
    switch (job.list) {
        case ResultCategory::Chats:
            complete = collect(lists.chats, job.text, stop, found.chats);
            break;
        case ResultCategory::Attachments:
            complete = collect(lists.resources, job.text, stop, found.resources);
            break;
        case ResultCategory::Contacts:
            complete = collect(lists.contacts, job.text, stop, found.contacts);
            break;
        case ResultCategory::Favorites:
            complete = collect(lists.favourites, job.text, stop, found.favs);
            break;
        case ResultCategory::Calls:
        case ResultCategory::None:
            break;
    }
    if (complete) {
        ui_.runOnMainThreadAndWait([&] { switchToFiterMainThread(job, found); });
    }
}

void ResultSearch::switchToFiterMainThread(const Job& job, Found& found) {
    // Overtaken by a newer text, another page, or another result.
    if (job.generation != generation_ || pages_.currentTableView() != job.list ||
        pages_.lists() != job.lists) {
        return;
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
            return;
    }
    tellRowsReplaced();
}

}  // namespace vessamo
