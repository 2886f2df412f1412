#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/Text.h"
#include "common/UiPort.h"
#include "common/Worker.h"
#include "results/IKImageItem.h"
#include "results/ResultViewState.h"
#include "results/ScanResult.h"

namespace vessamo {

// The rows one result offers the pages, made once when the result is shown
// and never changed: pointers into the result, and the attachments page's
// entries for the source's media files, which only these lists own. Whoever
// holds the lists (the pages, a running search, an export) keeps every
// pointer below valid, the result's records included.
struct ResultLists {
    ScanResultPtr result;
    std::vector<KTWhatsAppResourceNode> mediaResources;    // one per media file
    std::vector<const KTWhatsAppCovNode*> chats;           // live, then recovered-only
    std::vector<const KTWhatsAppResourceNode*> resources;  // media files, then cards and places
    std::vector<const KTCallHistoryNode*> calls;
    std::vector<const KTContactNode*> contacts;
    std::vector<const KTWhatsAppFavContact*> favourites;
};
using ResultListsPtr = std::shared_ptr<const ResultLists>;

// What the detail pane of a selected row shows.
struct RowDetails {
    enum class Look { None, Image, Movie, Text, FileIcon };
    Look look = Look::None;
    std::string picturePath;        // a file, or a named application image
    std::optional<Text> imageData;  // a contact's picture bytes, in the result
    std::string text;               // a card or location entry's own text
    std::vector<std::string> lines;
};

// The opened conversation: the newest messages shown so far, oldest first.
struct ChatView {
    const KTWhatsAppCovNode* conversation = nullptr;
    MessageRange shown;  // the tail of the conversation's messages
    bool moreButton = false;
};

// The category pages of the result view without widgets. Everything runs on
// the main thread except the opening of a conversation, whose worker touches
// this object only through UiPort::runOnMainThreadAndWait. Marks (the check
// boxes) live here, per list, never in the records.
class ResultPages {
public:
    static constexpr size_t kPreviewCount = 25;  // messages a chat shows at a time
    static constexpr size_t kScrollerRows = 14;
    // The home screen's fixed window size, in points.
    static constexpr int kHomeWidth = 751;
    static constexpr int kHomeHeight = 578;

    explicit ResultPages(UiPort& ui);
    ~ResultPages();
    ResultPages(const ResultPages&) = delete;
    ResultPages& operator=(const ResultPages&) = delete;

    // Shows a finished scan's result; another result than the one shown
    // starts with nothing shown or marked. nullptr lets the result go.
    void setSource(ScanResultPtr result);
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
    [[nodiscard]] bool isMarked(size_t row) const;
    void ClickSelectAllChatMessage(bool on);
    void ClickSelectAllResource(bool on);
    void ClickSelectAllContact(bool on);
    void ClickSelectAllFavtContact(bool on);
    // The items chosen in the media browser, by position in it.
    void setMediaSelection(std::set<size_t> items) { mediaSelection_ = std::move(items); }

    // What the exports take, read on the interface thread. The pointers lie
    // in lists() (never null): an export keeps that alive while it runs.
    [[nodiscard]] const ResultListsPtr& lists() const { return lists_; }
    // The chat at the selected row of the showing chat page, if any, and
    // every marked chat: each once, in list order.
    [[nodiscard]] std::vector<const KTWhatsAppCovNode*> chatsForExport() const;
    // The marked recovered-only conversations, in list order.
    [[nodiscard]] std::vector<const KTWhatsAppCovNode*> deletedConversationsMarked() const;
    [[nodiscard]] std::vector<const KTWhatsAppResourceNode*> markedResources() const;
    [[nodiscard]] std::vector<const KTContactNode*> markedContacts() const;
    [[nodiscard]] std::vector<const KTWhatsAppFavContact*> markedFavourites() const;
    // The media browser's items at the chosen positions, in browser order.
    [[nodiscard]] std::vector<IKImageItem> selectedMedia() const;

    // A row of the showing list was selected.
    void tableViewSelectionDidChange(size_t row);
    void ClickMoreBtn();

    // Asks first; true when the person went home.
    bool actHome();

    // The showing list's rows are replaced by a search's results: pointers
    // into lists().
    void showChats(std::vector<const KTWhatsAppCovNode*> rows);
    void showResources(std::vector<const KTWhatsAppResourceNode*> rows);
    void showContacts(std::vector<const KTContactNode*> rows);
    void showFavs(std::vector<const KTWhatsAppFavContact*> rows);
    void clearShowingList();

    [[nodiscard]] ResultCategory currentTableView() const { return current_; }
    [[nodiscard]] const std::vector<const KTWhatsAppCovNode*>& chatRows() const { return chats_; }
    [[nodiscard]] const std::vector<const KTWhatsAppResourceNode*>& resourceRows() const {
        return resources_;
    }
    [[nodiscard]] const std::vector<const KTCallHistoryNode*>& callRows() const { return calls_; }
    [[nodiscard]] const std::vector<const KTContactNode*>& contactRows() const { return contacts_; }
    [[nodiscard]] const std::vector<const KTWhatsAppFavContact*>& favRows() const { return favs_; }
    [[nodiscard]] const std::vector<IKImageItem>& mediaBroswerArray() const { return media_; }
    [[nodiscard]] bool scrollerVisible() const { return scrollerVisible_; }
    [[nodiscard]] std::optional<size_t> selectedRow() const { return selectedRow_; }
    [[nodiscard]] const RowDetails& details() const { return details_; }
    [[nodiscard]] const ChatView& chatView() const { return chatView_; }
    [[nodiscard]] bool bstartloadChat() const { return bstartloadChat_; }

    [[nodiscard]] int32_t selectedFilesNum() const { return selectedFilesNum_; }
    [[nodiscard]] bool selectionLabelVisible() const { return selectedFilesNum_ >= 1; }
    [[nodiscard]] bool saveEnabled() const { return selectedFilesNum_ >= 1; }
    [[nodiscard]] std::string selectionLabelText() const;
    [[nodiscard]] bool homeShown() const { return homeShown_; }
    [[nodiscard]] bool windowFixed() const { return windowFixed_; }

private:
    // Marked records of each list, by address in lists_.
    struct Marks {
        std::unordered_set<const KTWhatsAppCovNode*> chats;
        std::unordered_set<const KTWhatsAppResourceNode*> resources;
        std::unordered_set<const KTCallHistoryNode*> calls;
        std::unordered_set<const KTContactNode*> contacts;
        std::unordered_set<const KTWhatsAppFavContact*> favs;
    };

    // Calls visit(rows, marks) with the showing list and its marks.
    template <typename Self, typename Visit>
    static void visitShowing(Self& self, Visit&& visit);
    void showLists(ResultListsPtr lists);
    void selectFirstRow(size_t rows);
    void detailsOfResource(const KTWhatsAppResourceNode& node);
    void detailsOfFav(const KTWhatsAppFavContact& contact);
    void detailsOfContact(const KTContactNode& contact);
    void selectChat(size_t row);
    void LoadWhatsAppChatOnMainThread(const KTWhatsAppCovNode& conversation,
                                      const MessageRange& messages, uint64_t generation);
    [[nodiscard]] MessageRange openedMessages() const;
    void addMoreButn();

    UiPort& ui_;
    ResultListsPtr lists_;
    // The result whose recovered-only lists were dropped by going home: shown
    // again, it comes back without them.
    std::weak_ptr<const ScanResult> recoveredDropped_;
    Marks marks_;
    std::set<size_t> mediaSelection_;
    ResultCategory current_ = ResultCategory::None;
    std::vector<const KTWhatsAppCovNode*> chats_;
    std::vector<const KTWhatsAppResourceNode*> resources_;
    std::vector<const KTCallHistoryNode*> calls_;
    std::vector<const KTContactNode*> contacts_;
    std::vector<const KTWhatsAppFavContact*> favs_;
    std::vector<IKImageItem> media_;
    bool onlyDeleted_ = false;
    bool backupChooserActive_ = false;
    bool bchatchangePreview_ = true;
    bool scrollerVisible_ = false;
    std::optional<size_t> selectedRow_;
    RowDetails details_;
    ChatView chatView_;
    int32_t selectedFilesNum_ = 0;
    bool homeShown_ = false;
    bool windowFixed_ = false;
    std::atomic<bool> bstartloadChat_{false};
    std::atomic<uint64_t> chatGeneration_{0};  // a late opener of an older view shows nothing
    Worker loadchatThreader_;                  // last: joined before the rest goes
};

}  // namespace vessamo
