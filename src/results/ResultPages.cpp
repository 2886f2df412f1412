#include "results/ResultPages.h"

#include <algorithm>

#include "common/Files.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

std::string extensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : asciiLower(name.substr(dot + 1));
}

// A media file as the attachments page lists it: views of the file's texts.
KTWhatsAppResourceNode resourceOfMedia(const KTTreeDirNode& file) {
    KTWhatsAppResourceNode node;
    node.nodeName = Text::borrowed(lastComponent(file.filePath));
    node.nodePath = file.fileKey;
    node.nodeType = IKImageItem::typeOfPath(file.filePath);
    return node;
}

template <typename T>
void addAll(std::vector<const T*>& rows, const std::vector<T>& records) {
    for (const T& record : records) {
        rows.push_back(&record);
    }
}

// Built in place: the resource rows point into the lists' own media entries.
ResultListsPtr listsOf(ScanResultPtr result, bool withRecovered) {
    auto lists = std::make_shared<ResultLists>();
    if (result) {
        const ScanResult& source = *result;
        for (const KTTreeDirNode& file : source.WhatsAppMediaArray) {
            lists->mediaResources.push_back(resourceOfMedia(file));
        }
        addAll(lists->chats, source.WhatsAppConvChatArray);
        addAll(lists->resources, lists->mediaResources);
        if (withRecovered) {
            addAll(lists->chats, source.whatsAppArray);
            addAll(lists->resources, source.someResourceArray);
        }
        addAll(lists->calls, source.WhatsAppCallArray);
        addAll(lists->contacts, source.WhatsAppContactArray);
        addAll(lists->favourites, source.WhatsAppFacContactArray);
    }
    lists->result = std::move(result);
    return lists;
}

template <typename T>
std::vector<const T*> onlyDeleted(const std::vector<const T*>& all, bool filter) {
    if (!filter) {
        return all;
    }
    std::vector<const T*> kept;
    std::copy_if(all.begin(), all.end(), std::back_inserter(kept),
                 [](const T* record) { return record->bDeleted; });
    return kept;
}

template <typename T>
void setMark(std::unordered_set<const T*>& marks, const T* record, bool on) {
    if (on) {
        marks.insert(record);
    } else {
        marks.erase(record);
    }
}

template <typename T>
int32_t markRows(const std::vector<const T*>& rows, std::unordered_set<const T*>& marks,
                 const std::vector<size_t>& selected, bool on) {
    int32_t changed = 0;
    for (size_t row : selected) {
        if (row < rows.size()) {
            setMark(marks, rows[row], on);
            ++changed;
        }
    }
    return changed;
}

template <typename T>
int32_t markAll(const std::vector<const T*>& rows, std::unordered_set<const T*>& marks, bool on) {
    for (const T* record : rows) {
        setMark(marks, record, on);
    }
    return static_cast<int32_t>(rows.size());
}

template <typename T>
std::vector<const T*> markedOf(const std::vector<const T*>& all,
                               const std::unordered_set<const T*>& marks) {
    std::vector<const T*> marked;
    std::copy_if(all.begin(), all.end(), std::back_inserter(marked),
                 [&marks](const T* record) { return marks.contains(record); });
    return marked;
}

}  // namespace

ResultPages::ResultPages(UiPort& ui) : ui_(ui), lists_(listsOf(nullptr, false)) {}

ResultPages::~ResultPages() = default;

void ResultPages::setSource(ScanResultPtr result) {
    homeShown_ = false;
    if (result == lists_->result) {
        return;  // shown again: rows and marks stay as they are
    }
    const bool withRecovered = !result || recoveredDropped_.lock() != result;
    showLists(listsOf(std::move(result), withRecovered));
}

// Nothing shown may point into the lists that go.
void ResultPages::showLists(ResultListsPtr lists) {
    ++chatGeneration_;  // an opener of the old lists shows nothing
    chats_.clear();
    resources_.clear();
    calls_.clear();
    contacts_.clear();
    favs_.clear();
    media_.clear();
    chatView_ = ChatView{};
    details_ = RowDetails{};
    selectedRow_.reset();
    marks_ = Marks{};
    mediaSelection_.clear();
    selectedFilesNum_ = 0;
    lists_ = std::move(lists);
}

bool ResultPages::showCategory(ResultCategory category) {
    switch (category) {
        case ResultCategory::Chats:
            actClickChat();
            return true;
        case ResultCategory::Attachments:
            actClickResource();
            return true;
        case ResultCategory::Calls:
            actCallHistory();
            return true;
        case ResultCategory::Contacts:
            actContact();
            return true;
        case ResultCategory::Favorites:
            actClickFavtContact();
            return true;
        case ResultCategory::None:
            break;
    }
    return false;
}

void ResultPages::actClickChat() {
    current_ = ResultCategory::Chats;
    showChats(lists_->chats);
    selectFirstRow(chats_.size());
}

void ResultPages::actClickResource() {
    current_ = ResultCategory::Attachments;
    showResources(lists_->resources);
    media_.clear();
    if (lists_->result) {
        for (const KTTreeDirNode& file : lists_->result->WhatsAppMediaArray) {
            media_.push_back(IKImageItem::fromTreeNode(file));
        }
    }
}

void ResultPages::actCallHistory() {
    current_ = ResultCategory::Calls;
    calls_ = onlyDeleted(lists_->calls, onlyDeleted_);
    scrollerVisible_ = calls_.size() >= kScrollerRows;
    selectFirstRow(calls_.size());
}

void ResultPages::actContact() {
    current_ = ResultCategory::Contacts;
    showContacts(onlyDeleted(lists_->contacts, onlyDeleted_));
    selectFirstRow(contacts_.size());
}

void ResultPages::actClickFavtContact() {
    current_ = ResultCategory::Favorites;
    showFavs(lists_->favourites);
}

void ResultPages::showChats(std::vector<const KTWhatsAppCovNode*> rows) {
    chats_ = std::move(rows);
    scrollerVisible_ = chats_.size() >= kScrollerRows;
}

void ResultPages::showResources(std::vector<const KTWhatsAppResourceNode*> rows) {
    resources_ = std::move(rows);
}

void ResultPages::showContacts(std::vector<const KTContactNode*> rows) {
    contacts_ = std::move(rows);
    scrollerVisible_ = contacts_.size() >= kScrollerRows;
}

void ResultPages::showFavs(std::vector<const KTWhatsAppFavContact*> rows) {
    favs_ = std::move(rows);
    scrollerVisible_ = favs_.size() >= kScrollerRows;
}

void ResultPages::clearShowingList() {
    switch (current_) {
        case ResultCategory::Chats:
            chats_.clear();
            chatView_ = ChatView{};
            break;
        case ResultCategory::Attachments:
            resources_.clear();
            break;
        case ResultCategory::Calls:
            calls_.clear();
            break;
        case ResultCategory::Contacts:
            contacts_.clear();
            break;
        case ResultCategory::Favorites:
            favs_.clear();
            break;
        case ResultCategory::None:
            break;
    }
    selectedRow_.reset();
}

void ResultPages::selectFirstRow(size_t rows) {
    selectedRow_.reset();
    if (rows > 0) {
        tableViewSelectionDidChange(0);
    }
}

template <typename Self, typename Visit>
void ResultPages::visitShowing(Self& self, Visit&& visit) {
    switch (self.current_) {
        case ResultCategory::Chats:
            visit(self.chats_, self.marks_.chats);
            break;
        case ResultCategory::Attachments:
            visit(self.resources_, self.marks_.resources);
            break;
        case ResultCategory::Calls:
            visit(self.calls_, self.marks_.calls);
            break;
        case ResultCategory::Contacts:
            visit(self.contacts_, self.marks_.contacts);
            break;
        case ResultCategory::Favorites:
            visit(self.favs_, self.marks_.favs);
            break;
        case ResultCategory::None:
            break;
    }
}

void ResultPages::setMarked(const std::vector<size_t>& rows, bool on) {
    int32_t changed = 0;
    visitShowing(
        *this, [&](const auto& shown, auto& marks) { changed = markRows(shown, marks, rows, on); });
    // Counted per edit, not recomputed: marking a marked row counts it again.
    selectedFilesNum_ += on ? changed : -changed;
}

bool ResultPages::isMarked(size_t row) const {
    bool marked = false;
    visitShowing(*this, [&](const auto& shown, const auto& marks) {
        marked = row < shown.size() && marks.contains(shown[row]);
    });
    return marked;
}

void ResultPages::ClickSelectAllChatMessage(bool on) {
    const int32_t count = markAll(chats_, marks_.chats, on);
    selectedFilesNum_ += on ? count : -count;
}

void ResultPages::ClickSelectAllResource(bool on) {
    const int32_t count = markAll(resources_, marks_.resources, on);
    selectedFilesNum_ += on ? count : -count;
}

void ResultPages::ClickSelectAllContact(bool on) {
    const int32_t count = markAll(contacts_, marks_.contacts, on);
    selectedFilesNum_ += on ? count : -count;
}

void ResultPages::ClickSelectAllFavtContact(bool on) {
    const int32_t count = markAll(favs_, marks_.favs, on);
    selectedFilesNum_ += on ? count : -count;
}

std::string ResultPages::selectionLabelText() const {
    if (selectedFilesNum_ < 1) {
        return {};
    }
    return "You select " + std::to_string(selectedFilesNum_) + " files in the recovery results.";
}

std::vector<const KTWhatsAppCovNode*> ResultPages::chatsForExport() const {
    const KTWhatsAppCovNode* selected = nullptr;
    if (current_ == ResultCategory::Chats && selectedRow_ && *selectedRow_ < chats_.size()) {
        selected = chats_[*selectedRow_];
    }
    std::vector<const KTWhatsAppCovNode*> chosen;
    for (const KTWhatsAppCovNode* chat : lists_->chats) {
        if (chat == selected || marks_.chats.contains(chat)) {
            chosen.push_back(chat);
        }
    }
    return chosen;
}

std::vector<const KTWhatsAppCovNode*> ResultPages::deletedConversationsMarked() const {
    std::vector<const KTWhatsAppCovNode*> marked = markedOf(lists_->chats, marks_.chats);
    std::erase_if(marked, [](const KTWhatsAppCovNode* chat) { return !chat->bDeleted; });
    return marked;
}

std::vector<const KTWhatsAppResourceNode*> ResultPages::markedResources() const {
    return markedOf(lists_->resources, marks_.resources);
}

std::vector<const KTContactNode*> ResultPages::markedContacts() const {
    return markedOf(lists_->contacts, marks_.contacts);
}

std::vector<const KTWhatsAppFavContact*> ResultPages::markedFavourites() const {
    return markedOf(lists_->favourites, marks_.favs);
}

std::vector<IKImageItem> ResultPages::selectedMedia() const {
    std::vector<IKImageItem> chosen;
    for (size_t item : mediaSelection_) {
        if (item < media_.size()) {
            chosen.push_back(media_[item]);
        }
    }
    return chosen;
}

void ResultPages::tableViewSelectionDidChange(size_t row) {
    if (backupChooserActive_) {
        return;
    }
    selectedRow_ = row;
    details_ = RowDetails{};
    switch (current_) {
        case ResultCategory::Chats:
            selectChat(row);
            break;
        case ResultCategory::Attachments:
            if (row < resources_.size()) {
                detailsOfResource(*resources_[row]);
            }
            break;
        case ResultCategory::Contacts:
            if (row < contacts_.size()) {
                detailsOfContact(*contacts_[row]);
            }
            break;
        case ResultCategory::Favorites:
            if (row < favs_.size()) {
                detailsOfFav(*favs_[row]);
            }
            break;
        case ResultCategory::Calls:
        case ResultCategory::None:
            break;
    }
}

void ResultPages::detailsOfResource(const KTWhatsAppResourceNode& node) {
    details_.lines = {"File Name: " + node.nodeName, "File Type: " + node.nodeType};
    const std::string extension = extensionOf(node.nodeName);
    if (extension == "jpg" || extension == "png" || extension == "gif" || extension == "thumb") {
        details_.look = RowDetails::Look::Image;
        details_.picturePath = node.nodePath;
    } else if (extension == "mp4" || extension == "mov" || extension == "m4a" ||
               extension == "aac") {
        details_.look = RowDetails::Look::Movie;
        details_.picturePath = node.nodePath;
    } else if (node.nodeType == "VCard" || node.nodeType == "Location") {
        details_.look = RowDetails::Look::Text;
        details_.text = node.textContent;
    } else {
        details_.look = RowDetails::Look::FileIcon;
        details_.picturePath = node.nodePath;
    }
}

void ResultPages::detailsOfFav(const KTWhatsAppFavContact& contact) {
    details_.look = RowDetails::Look::Image;
    details_.picturePath = "contact";
    std::optional<Text> picture;
    if (lists_->result && !contact.contactImagePath.empty()) {
        const ScanResult& result = *lists_->result;
        picture = result.getFileKeyBytheFilepath(contact.contactImagePath);
        if (!picture) {
            picture = result.getFileKeyBytheFilepath(contact.contactImagePath + ".thumb");
        }
    }
    if (picture) {
        details_.picturePath = *picture;
    }
    details_.lines = {contact.contactName, "Phone: " + contact.whatsAppID,
                      "Status: " + contact.contactStatu};
}

void ResultPages::detailsOfContact(const KTContactNode& contact) {
    details_.lines = {contact.contactName,
                      contact.contactPhone,
                      "Email: " + contact.contactEmail,
                      "HomePage: " + contact.contactHomepage,
                      "Company: " + contact.contactCompany,
                      "JobTitle: " + contact.contactJobtitle,
                      "Birthday: " + contact.contactBirthday,
                      contact.contactNote};
    if (contact.imageData) {
        details_.look = RowDetails::Look::Image;
        details_.imageData = contact.imageData;
    }
}

void ResultPages::selectChat(size_t row) {
    if (row >= chats_.size() || !bchatchangePreview_ || bstartloadChat_) {
        return;
    }
    bstartloadChat_ = true;
    // The guard above was clear, so the previous opener has shown its chat
    // and is at most returning.
    loadchatThreader_.join();
    loadchatThreader_.start([this, lists = lists_, conversation = chats_[row],
                             generation = chatGeneration_.load()](const std::stop_token& stop) {
        const MessageRange messages = lists->result->messagesOf(*conversation);
        if (stop.stop_requested()) {
            return;  // the pages are going
        }
        ui_.runOnMainThreadAndWait(
            [&] { LoadWhatsAppChatOnMainThread(*conversation, messages, generation); });
    });
}

void ResultPages::LoadWhatsAppChatOnMainThread(const KTWhatsAppCovNode& conversation,
                                               const MessageRange& messages, uint64_t generation) {
    bstartloadChat_ = false;
    if (generation != chatGeneration_) {
        return;  // the person went home or another result came meanwhile
    }
    const size_t take = std::min(messages.size(), kPreviewCount);
    chatView_ = ChatView{&conversation, messages.slice(messages.size() - take, take), false};
    addMoreButn();
}

MessageRange ResultPages::openedMessages() const {
    return chatView_.conversation != nullptr ? lists_->result->messagesOf(*chatView_.conversation)
                                             : MessageRange();
}

void ResultPages::ClickMoreBtn() {
    if (!chatView_.moreButton) {
        return;
    }
    const MessageRange all = openedMessages();
    const size_t shown = std::min(all.size(), chatView_.shown.size() + kPreviewCount);
    chatView_.shown = all.slice(all.size() - shown, shown);
    addMoreButn();
}

void ResultPages::addMoreButn() {
    chatView_.moreButton = chatView_.shown.size() < openedMessages().size();
}

bool ResultPages::actHome() {
    AlertRequest ask;
    ask.title =
        "Are you sure you want to go back to Home? If Back, the scanning results will not be "
        "saved.";
    ask.buttons = {" Back ", "Cancel"};
    if (ui_.showAlert(ask).button != 0) {
        return false;
    }
    // The source's own lists stay for a later visit; the recovered-only
    // ones go for good. Not joined here: an opener may be waiting for this
    // very thread.
    recoveredDropped_ = lists_->result;
    showLists(listsOf(lists_->result, false));
    current_ = ResultCategory::None;
    windowFixed_ = true;
    homeShown_ = true;
    return true;
}

}  // namespace vessamo
