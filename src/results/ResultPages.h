#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/UiPort.h"
#include "results/IKImageItem.h"
#include "results/KTCallHistoryNode.h"
#include "results/KTContactNode.h"
#include "results/KTTreeDirNode.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppResourceNode.h"
#include "results/ResultViewState.h"

namespace vessamo {

// The lists of the scanned source that the pages show. The records are
// shared with the source, so a mark set here is the mark the exports read.
struct ResultSourceLists {
    std::vector<KTWhatsAppNodePtr> WhatsAppChatArray;
    std::vector<KTWhatsAppCovNodePtr> WhatsAppConvChatArray;
    std::vector<KTTreeDirNode> WhatsAppMediaArray;
    std::vector<KTCallHistoryNodePtr> WhatsAppCallArray;
    std::vector<KTContactNodePtr> WhatsAppContactArray;
    std::vector<KTWhatsAppFavContactPtr> WhatsAppFacContactArray;
    // Made by the deleted-message intake; shown while the results are.
    std::vector<KTWhatsAppCovNodePtr> deletedConversations;
    std::vector<KTWhatsAppResourceNodePtr> deletedResources;
};

// What the detail pane of a selected row shows.
struct RowDetails {
    enum class Look { None, Image, Movie, Text, FileIcon };
    Look look = Look::None;
    std::string picturePath;  // a file, or a named application image
    std::optional<std::string> imageData;
    std::string text;  // a card or location entry's own text
    std::vector<std::string> lines;
};

// The opened conversation: the messages shown, oldest first.
struct ChatView {
    KTWhatsAppCovNodePtr conversation;
    std::vector<KTWhatsAppNodePtr> shown;
    bool moreButton = false;
};

// The category pages of the result view without widgets. Everything runs on
// the main thread except the opening of a conversation, whose worker touches
// this object only through UiPort::runOnMainThreadAndWait.
class ResultPages {
public:
    using FileKeyLookup = std::function<std::optional<std::string>(const std::string&)>;

    static constexpr int32_t kPreviewCount = 25;
    static constexpr size_t kScrollerRows = 14;
    // The home screen's fixed window size, in points.
    static constexpr int kHomeWidth = 751;
    static constexpr int kHomeHeight = 578;

    explicit ResultPages(UiPort& ui);
    ~ResultPages();
    ResultPages(const ResultPages&) = delete;
    ResultPages& operator=(const ResultPages&) = delete;

    void setSource(ResultSourceLists lists);
    void setFileKeyLookup(FileKeyLookup lookup) { fileKeyLookup_ = std::move(lookup); }
    void setOnlyDeleted(bool on) { onlyDeleted_ = on; }
    void setBackupChooserActive(bool active) { backupChooserActive_ = active; }
    void setChatChangePreview(bool on) { bchatchangePreview_ = on; }

    void actClickChat();
    void actClickResource();
    void actCallHistory();
    void actContact();
    void actClickFavtContact();
    // Refills the page of that category; false for None.
    bool showCategory(ResultCategory category);

    // The check-box column of the showing list, for the selected rows.
    void setMarked(const std::vector<size_t>& rows, bool on);
    void ClickSelectAllChatMessage(bool on);
    void ClickSelectAllResource(bool on);
    void ClickSelectAllContact(bool on);
    void ClickSelectAllFavtContact(bool on);

    // A row of the showing list was selected.
    void tableViewSelectionDidChange(size_t row);
    void ClickMoreBtn();
    // Joins a finished or running opener; for shutdown and tests.
    void waitForChatLoad();

    // Asks first; true when the person went home.
    bool actHome();

    // The showing list's rows are replaced by a search's results.
    void showChats(std::vector<KTWhatsAppCovNodePtr> rows);
    void showResources(std::vector<KTWhatsAppResourceNodePtr> rows);
    void showContacts(std::vector<KTContactNodePtr> rows);
    void showFavs(std::vector<KTWhatsAppFavContactPtr> rows);
    void clearShowingList();

    // What the lists can show in full, for the search to walk.
    [[nodiscard]] std::vector<KTWhatsAppCovNodePtr> allChats() const;
    [[nodiscard]] std::vector<KTWhatsAppResourceNodePtr> allResources() const;
    [[nodiscard]] const std::vector<KTContactNodePtr>& allContacts() const {
        return source_.WhatsAppContactArray;
    }
    [[nodiscard]] const std::vector<KTWhatsAppFavContactPtr>& allFavs() const {
        return source_.WhatsAppFacContactArray;
    }

    [[nodiscard]] ResultCategory currentTableView() const { return current_; }
    [[nodiscard]] const std::vector<KTWhatsAppCovNodePtr>& chatRows() const { return chats_; }
    [[nodiscard]] const std::vector<KTWhatsAppResourceNodePtr>& resourceRows() const {
        return resources_;
    }
    [[nodiscard]] const std::vector<KTCallHistoryNodePtr>& callRows() const { return calls_; }
    [[nodiscard]] const std::vector<KTContactNodePtr>& contactRows() const { return contacts_; }
    [[nodiscard]] const std::vector<KTWhatsAppFavContactPtr>& favRows() const { return favs_; }
    [[nodiscard]] const std::vector<IKImageItem>& mediaBroswerArray() const { return media_; }
    [[nodiscard]] bool scrollerVisible() const { return scrollerVisible_; }
    [[nodiscard]] std::optional<size_t> selectedRow() const { return selectedRow_; }
    [[nodiscard]] const RowDetails& details() const { return details_; }
    [[nodiscard]] const ChatView& chatView() const { return chatView_; }
    [[nodiscard]] bool bstartloadChat() const { return bstartloadChat_; }
    [[nodiscard]] int32_t previewCount() const { return previewCount_; }

    [[nodiscard]] int32_t selectedFilesNum() const { return selectedFilesNum_; }
    [[nodiscard]] bool selectionLabelVisible() const { return selectedFilesNum_ >= 1; }
    [[nodiscard]] bool saveEnabled() const { return selectedFilesNum_ >= 1; }
    [[nodiscard]] std::string selectionLabelText() const;
    [[nodiscard]] bool homeShown() const { return homeShown_; }
    [[nodiscard]] bool windowFixed() const { return windowFixed_; }
    int32_t BackUpFilesNum = 0;
    int32_t deleteeFilesNum = 0;
    int32_t recovredFilesNum = 0;

private:
    template <typename T>
    void selectAll(const std::vector<T>& rows, bool on);
    void selectFirstRow(size_t rows);
    void detailsOfResource(const KTWhatsAppResourceNode& node);
    void detailsOfFav(const KTWhatsAppFavContact& contact);
    void detailsOfContact(const KTContactNode& contact);
    void selectChat(size_t row);
    void LoadWhatsAppChatOnMainThread(const KTWhatsAppCovNodePtr& conversation,
                                      uint64_t generation);
    void addMoreButn();
    void clearAll();

    UiPort& ui_;
    ResultSourceLists source_;
    // Shared with an opener thread, which must not see the list replaced.
    std::shared_ptr<const std::vector<KTWhatsAppNodePtr>> messages_;
    std::vector<KTWhatsAppResourceNodePtr> mediaResources_;
    FileKeyLookup fileKeyLookup_;
    ResultCategory current_ = ResultCategory::None;
    std::vector<KTWhatsAppCovNodePtr> chats_;
    std::vector<KTWhatsAppResourceNodePtr> resources_;
    std::vector<KTCallHistoryNodePtr> calls_;
    std::vector<KTContactNodePtr> contacts_;
    std::vector<KTWhatsAppFavContactPtr> favs_;
    std::vector<IKImageItem> media_;
    bool onlyDeleted_ = false;
    bool backupChooserActive_ = false;
    bool bchatchangePreview_ = true;
    bool scrollerVisible_ = false;
    std::optional<size_t> selectedRow_;
    RowDetails details_;
    ChatView chatView_;
    int32_t previewCount_ = kPreviewCount;
    int32_t selectedFilesNum_ = 0;
    bool homeShown_ = false;
    bool windowFixed_ = false;
    std::atomic<bool> bstartloadChat_{false};
    std::atomic<uint64_t> chatGeneration_{0};  // a late opener of an older view shows nothing
    std::thread loadchatThreader_;
};

}  // namespace vessamo
