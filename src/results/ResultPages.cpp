#include "results/ResultPages.h"

#include <algorithm>

#include "common/TextConversion.h"
#include "results/ConversationFiller.h"

namespace vessamo {

namespace {

std::string extensionOf(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : asciiLower(name.substr(dot + 1));
}

std::string lastComponent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

KTWhatsAppResourceNodePtr resourceOfMedia(const KTTreeDirNode& file) {
    auto node = std::make_shared<KTWhatsAppResourceNode>();
    node->nodeName = lastComponent(file.filePath);
    node->nodePath = file.fileKey;
    node->nodeType = IKImageItem::typeOfPath(file.filePath);
    return node;
}

template <typename T>
std::vector<T> onlyDeleted(const std::vector<T>& all, bool filter) {
    if (!filter) {
        return all;
    }
    std::vector<T> kept;
    std::copy_if(all.begin(), all.end(), std::back_inserter(kept),
                 [](const T& record) { return record->bDeleted; });
    return kept;
}

template <typename T>
int32_t markRows(const std::vector<T>& rows, const std::vector<size_t>& selected, bool on) {
    int32_t changed = 0;
    for (size_t row : selected) {
        if (row < rows.size()) {
            rows[row]->bSelected = on;
            ++changed;
        }
    }
    return changed;
}

}  // namespace

ResultPages::ResultPages(UiPort& ui)
    : ui_(ui), messages_(std::make_shared<const std::vector<KTWhatsAppNodePtr>>()) {}

ResultPages::~ResultPages() {
    waitForChatLoad();
}

void ResultPages::setSource(ResultSourceLists lists) {
    messages_ =
        std::make_shared<const std::vector<KTWhatsAppNodePtr>>(std::move(lists.WhatsAppChatArray));
    source_ = std::move(lists);
    // Built once, so a media file marked on one visit stays marked on the next.
    mediaResources_.clear();
    for (const KTTreeDirNode& file : source_.WhatsAppMediaArray) {
        mediaResources_.push_back(resourceOfMedia(file));
    }
    homeShown_ = false;
}

std::vector<KTWhatsAppCovNodePtr> ResultPages::allChats() const {
    std::vector<KTWhatsAppCovNodePtr> all = source_.WhatsAppConvChatArray;
    all.insert(all.end(), source_.deletedConversations.begin(), source_.deletedConversations.end());
    return all;
}

std::vector<KTWhatsAppResourceNodePtr> ResultPages::allResources() const {
    std::vector<KTWhatsAppResourceNodePtr> all = mediaResources_;
    all.insert(all.end(), source_.deletedResources.begin(), source_.deletedResources.end());
    return all;
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
    showChats(allChats());
    selectFirstRow(chats_.size());
}

void ResultPages::actClickResource() {
    current_ = ResultCategory::Attachments;
    showResources(allResources());
    media_.clear();
    for (const KTTreeDirNode& file : source_.WhatsAppMediaArray) {
        media_.push_back(IKImageItem::fromTreeNode(file));
    }
}

void ResultPages::actCallHistory() {
    current_ = ResultCategory::Calls;
    calls_ = onlyDeleted(source_.WhatsAppCallArray, onlyDeleted_);
    scrollerVisible_ = calls_.size() >= kScrollerRows;
    selectFirstRow(calls_.size());
}

void ResultPages::actContact() {
    current_ = ResultCategory::Contacts;
    showContacts(onlyDeleted(source_.WhatsAppContactArray, onlyDeleted_));
    selectFirstRow(contacts_.size());
}

void ResultPages::actClickFavtContact() {
    current_ = ResultCategory::Favorites;
    showFavs(source_.WhatsAppFacContactArray);
}

void ResultPages::showChats(std::vector<KTWhatsAppCovNodePtr> rows) {
    chats_ = std::move(rows);
    scrollerVisible_ = chats_.size() >= kScrollerRows;
}

void ResultPages::showResources(std::vector<KTWhatsAppResourceNodePtr> rows) {
    resources_ = std::move(rows);
}

void ResultPages::showContacts(std::vector<KTContactNodePtr> rows) {
    contacts_ = std::move(rows);
    scrollerVisible_ = contacts_.size() >= kScrollerRows;
}

void ResultPages::showFavs(std::vector<KTWhatsAppFavContactPtr> rows) {
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

void ResultPages::setMarked(const std::vector<size_t>& rows, bool on) {
    int32_t changed = 0;
    switch (current_) {
        case ResultCategory::Chats:
            changed = markRows(chats_, rows, on);
            break;
        case ResultCategory::Attachments:
            changed = markRows(resources_, rows, on);
            break;
        case ResultCategory::Calls:
            changed = markRows(calls_, rows, on);
            break;
        case ResultCategory::Contacts:
            changed = markRows(contacts_, rows, on);
            break;
        case ResultCategory::Favorites:
            changed = markRows(favs_, rows, on);
            break;
        case ResultCategory::None:
            break;
    }
    // Counted per edit, not recomputed: marking a marked row counts it again.
    selectedFilesNum_ += on ? changed : -changed;
}

template <typename T>
void ResultPages::selectAll(const std::vector<T>& rows, bool on) {
    for (const T& record : rows) {
        record->bSelected = on;
    }
    int32_t count = static_cast<int32_t>(rows.size());
    selectedFilesNum_ += on ? count : -count;
}

void ResultPages::ClickSelectAllChatMessage(bool on) {
    selectAll(chats_, on);
}
void ResultPages::ClickSelectAllResource(bool on) {
    selectAll(resources_, on);
}
void ResultPages::ClickSelectAllContact(bool on) {
    selectAll(contacts_, on);
}
void ResultPages::ClickSelectAllFavtContact(bool on) {
    selectAll(favs_, on);
}

std::string ResultPages::selectionLabelText() const {
    if (selectedFilesNum_ < 1) {
        return {};
    }
    return "You select " + std::to_string(selectedFilesNum_) + " files in the recovery results.";
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
            if (row < resources_.size())
                detailsOfResource(*resources_[row]);
            break;
        case ResultCategory::Contacts:
            if (row < contacts_.size())
                detailsOfContact(*contacts_[row]);
            break;
        case ResultCategory::Favorites:
            if (row < favs_.size())
                detailsOfFav(*favs_[row]);
            break;
        case ResultCategory::Calls:
        case ResultCategory::None:
            break;
    }
}

void ResultPages::detailsOfResource(const KTWhatsAppResourceNode& node) {
    details_.lines = {"File Name: " + node.nodeName, "File Type: " + node.nodeType};
    std::string extension = extensionOf(node.nodeName);
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
    std::optional<std::string> picture;
    if (fileKeyLookup_ && !contact.contactImagePath.empty()) {
        picture = fileKeyLookup_(contact.contactImagePath);
        if (!picture) {
            picture = fileKeyLookup_(contact.contactImagePath + ".thumb");
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
    previewCount_ = kPreviewCount;
    if (row >= chats_.size() || !bchatchangePreview_ || bstartloadChat_) {
        return;
    }
    // The guard above is clear, so the previous opener has shown its chat
    // and is at most returning.
    waitForChatLoad();
    bstartloadChat_ = true;
    KTWhatsAppCovNodePtr conversation = chats_[row];
    std::shared_ptr<const std::vector<KTWhatsAppNodePtr>> messages = messages_;
    uint64_t generation = chatGeneration_;
    loadchatThreader_ = std::thread([this, conversation, messages, generation] {
        fillConversation(*conversation, *messages);
        ui_.runOnMainThreadAndWait([this, &conversation, generation] {
            LoadWhatsAppChatOnMainThread(conversation, generation);
        });
    });
}

void ResultPages::LoadWhatsAppChatOnMainThread(const KTWhatsAppCovNodePtr& conversation,
                                               uint64_t generation) {
    bstartloadChat_ = false;
    if (generation != chatGeneration_) {
        return;  // the person went home meanwhile
    }
    chatView_ = ChatView{};
    chatView_.conversation = conversation;
    const std::vector<KTWhatsAppNodePtr>& all = conversation->appNodeArray;
    size_t take = std::min(all.size(), static_cast<size_t>(previewCount_));
    chatView_.shown.assign(all.end() - static_cast<std::ptrdiff_t>(take), all.end());
    addMoreButn();
}

void ResultPages::ClickMoreBtn() {
    if (!chatView_.conversation || !chatView_.moreButton) {
        return;
    }
    const std::vector<KTWhatsAppNodePtr>& all = chatView_.conversation->appNodeArray;
    size_t remaining = all.size() - chatView_.shown.size();
    size_t take = std::min(remaining, static_cast<size_t>(previewCount_));
    auto end = all.begin() + static_cast<std::ptrdiff_t>(remaining);
    chatView_.shown.insert(chatView_.shown.begin(), end - static_cast<std::ptrdiff_t>(take), end);
    addMoreButn();
}

void ResultPages::addMoreButn() {
    chatView_.moreButton = chatView_.conversation &&
                           chatView_.shown.size() < chatView_.conversation->appNodeArray.size();
}

void ResultPages::waitForChatLoad() {
    if (loadchatThreader_.joinable()) {
        loadchatThreader_.join();
    }
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
    clearAll();
    return true;
}

void ResultPages::clearAll() {
    // Not joined here: an opener may be waiting for this very thread.
    ++chatGeneration_;
    chats_.clear();
    resources_.clear();
    calls_.clear();
    contacts_.clear();
    favs_.clear();
    media_.clear();
    chatView_ = ChatView{};
    details_ = RowDetails{};
    selectedRow_.reset();
    source_.deletedConversations.clear();
    source_.deletedResources.clear();
    current_ = ResultCategory::None;
    windowFixed_ = true;
    homeShown_ = true;
    BackUpFilesNum = 0;
    deleteeFilesNum = 0;
    selectedFilesNum_ = 0;
    recovredFilesNum = 0;
}

}  // namespace vessamo
