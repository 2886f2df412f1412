#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/AppleTime.h"
#include "common/ScratchFolder.h"
#include "common/Status.h"
#include "common/Text.h"
#include "results/BackupFileIndex.h"
#include "results/KTCallHistoryNode.h"
#include "results/KTContactNode.h"
#include "results/KTPhotoAndVideoNode.h"
#include "results/KTTreeDirNode.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppIDInfo.h"
#include "results/KTWhatsAppNode.h"
#include "results/KTWhatsAppResourceNode.h"

namespace vessamo {

// The kinds of folder a scan reads.
enum class SourceKind { Backup, ICloud, Timeline };

// A conversation's messages, oldest first: a stretch of the result's message
// list, or for the starred list the positions it gathers from every chat.
class MessageRange {
public:
    MessageRange() = default;
    MessageRange(const KTWhatsAppNode* first, size_t count) : base_(first), size_(count) {}
    MessageRange(const KTWhatsAppNode* base, const uint32_t* positions, size_t count)
        : base_(base), positions_(positions), size_(count) {}

    [[nodiscard]] size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] const KTWhatsAppNode& operator[](size_t at) const {
        return positions_ != nullptr ? base_[positions_[at]] : base_[at];
    }
    [[nodiscard]] const KTWhatsAppNode& front() const { return (*this)[0]; }
    [[nodiscard]] const KTWhatsAppNode& back() const { return (*this)[size_ - 1]; }
    // The messages [from, from + count).
    [[nodiscard]] MessageRange slice(size_t from, size_t count) const {
        return positions_ != nullptr ? MessageRange(base_, positions_ + from, count)
                                     : MessageRange(base_ + from, count);
    }

    class iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = KTWhatsAppNode;
        using difference_type = std::ptrdiff_t;
        using pointer = const KTWhatsAppNode*;
        using reference = const KTWhatsAppNode&;

        iterator() = default;
        iterator(const MessageRange* range, size_t at) : range_(range), at_(at) {}
        reference operator*() const { return (*range_)[at_]; }
        pointer operator->() const { return &(*range_)[at_]; }
        reference operator[](difference_type n) const {
            return (*range_)[at_ + static_cast<size_t>(n)];
        }
        iterator& operator++() { return ++at_, *this; }
        iterator operator++(int) { return iterator(range_, at_++); }
        iterator& operator--() { return --at_, *this; }
        iterator operator--(int) { return iterator(range_, at_--); }
        iterator& operator+=(difference_type n) { return at_ += static_cast<size_t>(n), *this; }
        iterator& operator-=(difference_type n) { return at_ -= static_cast<size_t>(n), *this; }
        friend iterator operator+(iterator it, difference_type n) { return it += n; }
        friend iterator operator+(difference_type n, iterator it) { return it += n; }
        friend iterator operator-(iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const iterator& a, const iterator& b) {
            return static_cast<difference_type>(a.at_) - static_cast<difference_type>(b.at_);
        }
        friend bool operator==(const iterator& a, const iterator& b) { return a.at_ == b.at_; }
        friend auto operator<=>(const iterator& a, const iterator& b) { return a.at_ <=> b.at_; }

    private:
        const MessageRange* range_ = nullptr;
        size_t at_ = 0;
    };
    [[nodiscard]] iterator begin() const { return iterator(this, 0); }
    [[nodiscard]] iterator end() const { return iterator(this, size_); }

private:
    const KTWhatsAppNode* base_ = nullptr;
    const uint32_t* positions_ = nullptr;
    size_t size_ = 0;
};

// Everything one scan found, made once when the scan ends and never changed
// afterwards: views, searches and exports on any thread share it as
// std::shared_ptr<const ScanResult>. Marks, paging and selection belong to
// the views, not to these records. Every text of the records lives in
// `texts`, so a record is valid exactly as long as its result.
struct ScanResult {
    ScanResult() = default;
    ScanResult(const ScanResult&) = delete;
    ScanResult& operator=(const ScanResult&) = delete;

    TextStore texts;  // first: the records below point into it

    // --- What was scanned and how it went ------------------------------
    SourceKind kind = SourceKind::Backup;
    std::string folder;
    bool stopped = false;  // the stop button (or a signal) ended it early
    // What could not be read, stage by stage: absent files (notFound) and
    // damaged ones (corrupt) told apart. Empty when everything was read.
    std::vector<Status> problems;

    // --- The collections of a finished scan ----------------------------
    std::optional<KTWhatsAppIDInfo> account;  // the account owner, when found
    // Conversations, ending with the starred list on backups.
    std::vector<KTWhatsAppCovNode> WhatsAppConvChatArray;
    // Every message: live rows in database order, then the recovered
    // messages the carver added to the chats.
    std::vector<KTWhatsAppNode> WhatsAppChatArray;
    // WhatsAppChatArray's positions grouped by conversation (chat keys in
    // ascending order; within a chat, rows in list order and recovered
    // messages placed among them by time). Each conversation's
    // appNodeArray is its stretch of this list: four bytes a message, where
    // moving the records themselves into chat order cost a second per
    // million of them.
    std::vector<uint32_t> chatOrder;
    // The starred list's messages, as positions in WhatsAppChatArray in row
    // order: its own key's messages and every starred one, each once.
    std::vector<uint32_t> starredMessages;
    std::vector<KTPhotoAndVideoNode> WhatsAppResourceArray;  // message attachments
    std::vector<KTTreeDirNode> WhatsAppMediaArray;           // media files of the source
    std::vector<KTCallHistoryNode> WhatsAppCallArray;
    std::vector<KTContactNode> WhatsAppContactArray;            // the phone's address book
    std::vector<KTWhatsAppFavContact> WhatsAppFacContactArray;  // WhatsApp contacts

    // --- Deleted-message recovery ---------------------------------------
    // Conversations that exist only because messages were recovered for
    // them (bDeleted set); their appNodeArray is a stretch of
    // recoveredMessages.
    std::vector<KTWhatsAppCovNode> whatsAppArray;
    std::vector<KTWhatsAppNode> recoveredMessages;
    // Keys of the recovered conversations whose chat was deleted as well:
    // no chat session is left, only the messages tell what it was.
    std::vector<int32_t> deletedChats;
    // Where each recovered message was found ("freeblock", "wal frame 3"),
    // for recovered messages wherever they are listed.
    struct RecoveredOrigin {
        const char* content;  // the message's own text storage identifies it
        int32_t chat;
        int64_t seconds;
        std::string place;
        auto operator<=>(const RecoveredOrigin& other) const {
            return std::tie(content, chat, seconds) <=>
                   std::tie(other.content, other.chat, other.seconds);
        }
        bool operator==(const RecoveredOrigin& other) const { return (*this <=> other) == 0; }
    };
    std::vector<RecoveredOrigin> recoveredOrigins;  // sorted
    [[nodiscard]] std::optional<std::string_view> recoveredOriginOf(
        const KTWhatsAppNode& message) const;
    // Contact cards and locations found among the recovered messages.
    std::vector<KTWhatsAppResourceNode> someResourceArray;

    // --- Where the source's files are -----------------------------------
    BackupFileIndex index;        // backups: relative path -> file
    std::string currentScanPath;  // the chat database read
    std::string fullTimelinPath;  // Timeline sources: the backup folder
    std::string tempfilePath;     // iCloud sources: where the archives were unpacked, ends in "/"
    // The private folder behind tempfilePath; it goes with the result.
    std::shared_ptr<const ScratchFolder> unpackFolder;

    // --- Look-ups ------------------------------------------------------
    // A conversation's messages, from whichever list holds them.
    [[nodiscard]] MessageRange messagesOf(const KTWhatsAppCovNode& conversation) const;
    // The file that holds a relative path of a backup's WhatsApp index.
    [[nodiscard]] std::optional<Text> getFileKeyBytheFilepath(std::string_view relativePath) const {
        return index.getFileKeyBytheFilepath(relativePath);
    }
    [[nodiscard]] bool bNewAppVersion() const { return index.bNewAppVersion; }
    // The time of the message that owns a stored media path (the last such
    // message in row order), or nullopt.
    [[nodiscard]] std::optional<AppleTime> mediaTime(std::string_view storedPath) const;

    // Builds what the look-ups need; called once, when the result is made.
    void indexMediaTimes();

private:
    // Positions of messages with a media path, sorted by that path.
    std::vector<uint32_t> mediaByPath_;
};

using ScanResultPtr = std::shared_ptr<const ScanResult>;

}  // namespace vessamo
