#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <unordered_map>

#include "results/DisplayText.h"
#include "results/ResultPages.h"

namespace vessamo::gui {

// A table over one of the result pages' row lists. The rows stay where the
// pages keep them: every cell is read from the live list and formatted when
// a view asks for it, so a list of a million rows costs nothing until its
// visible rows are drawn. The pages replace a list in place (a new
// category, a search): call reload() then, before the view paints again.
// The first column carries each row's check box, the mark the exports and
// the recovery take; checking it marks that row (the table selects a row
// as its box is clicked, so the selected row is the one marked).
class ResultListModel : public QAbstractTableModel {
public:
    static constexpr int CheckColumn = 0;

    ResultListModel(ResultPages& pages, QStringList headers, QObject* parent = nullptr);

    // The list was replaced: views forget every row and cached text.
    void reload();
    // Marks changed outside the check boxes (select-all): the boxes are
    // drawn again, the rows and the selection stay.
    void refreshMarks();
    // The category whose list this model shows.
    [[nodiscard]] virtual ResultCategory category() const = 0;

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

protected:
    [[nodiscard]] ResultPages& pages() const { return pages_; }
    [[nodiscard]] virtual size_t rows() const = 0;
    // The pages mark the list that shows; another list's rows are not ours.
    [[nodiscard]] bool listShows() const { return pages_.currentTableView() == category(); }
    // A cell's text; row is below rows().
    [[nodiscard]] virtual QString cellText(size_t row, int column) const = 0;
    // Other roles of a cell (colour, alignment, tool tips); none by default.
    [[nodiscard]] virtual QVariant cellData(size_t row, int column, int role) const;
    virtual void forgetCachedTexts() {}
    // One formatting cache per model: views ask on the interface thread only.
    mutable DisplayTextCache dates_;

private:
    ResultPages& pages_;
    QStringList headers_;
};

// Conversations: name (or number), the last message, its date, and how
// many of its messages were recovered.
class ChatListModel : public ResultListModel {
public:
    enum Column { Name, LastMessage, Date, Recovered, ColumnCount };
    explicit ChatListModel(ResultPages& pages, QObject* parent = nullptr);
    [[nodiscard]] ResultCategory category() const override { return ResultCategory::Chats; }

    // Recovered messages of the conversation at a row (counted once).
    [[nodiscard]] int recoveredCount(size_t row) const;
    // The conversation at a row is all that is left of a deleted chat.
    [[nodiscard]] bool isDeletedChatAt(size_t row) const;

protected:
    [[nodiscard]] size_t rows() const override { return pages().chatRows().size(); }
    [[nodiscard]] QString cellText(size_t row, int column) const override;
    [[nodiscard]] QVariant cellData(size_t row, int column, int role) const override;
    void forgetCachedTexts() override { recovered_.clear(); }

private:
    [[nodiscard]] MessageRange messagesAt(size_t row) const;
    mutable std::unordered_map<const KTWhatsAppCovNode*, int> recovered_;
};

// Media files, contact cards and places: file name, kind and size.
class MediaListModel : public ResultListModel {
public:
    enum Column { Name, Kind, Size, ColumnCount };
    explicit MediaListModel(ResultPages& pages, QObject* parent = nullptr);
    [[nodiscard]] ResultCategory category() const override { return ResultCategory::Attachments; }

protected:
    [[nodiscard]] size_t rows() const override { return pages().resourceRows().size(); }
    [[nodiscard]] QString cellText(size_t row, int column) const override;
    [[nodiscard]] QVariant cellData(size_t row, int column, int role) const override;
    void forgetCachedTexts() override { sizes_.clear(); }

private:
    // Media files carry no size text: their size on disk, looked up once.
    mutable std::unordered_map<const KTWhatsAppResourceNode*, QString> sizes_;
};

// Calls: who, direction, when and how long.
class CallListModel : public ResultListModel {
public:
    enum Column { Name, Number, Direction, Date, Duration, ColumnCount };
    explicit CallListModel(ResultPages& pages, QObject* parent = nullptr);
    [[nodiscard]] ResultCategory category() const override { return ResultCategory::Calls; }

protected:
    [[nodiscard]] size_t rows() const override { return pages().callRows().size(); }
    [[nodiscard]] QString cellText(size_t row, int column) const override;
};

// The phone's address book: name, numbers and e-mail.
class ContactListModel : public ResultListModel {
public:
    enum Column { Name, Numbers, Email, ColumnCount };
    explicit ContactListModel(ResultPages& pages, QObject* parent = nullptr);
    [[nodiscard]] ResultCategory category() const override { return ResultCategory::Contacts; }

protected:
    [[nodiscard]] size_t rows() const override { return pages().contactRows().size(); }
    [[nodiscard]] QString cellText(size_t row, int column) const override;
};

// WhatsApp contacts of the account: name, WhatsApp number and status.
class FavouriteListModel : public ResultListModel {
public:
    enum Column { Name, Number, Status, ColumnCount };
    explicit FavouriteListModel(ResultPages& pages, QObject* parent = nullptr);
    [[nodiscard]] ResultCategory category() const override { return ResultCategory::Favorites; }

protected:
    [[nodiscard]] size_t rows() const override { return pages().favRows().size(); }
    [[nodiscard]] QString cellText(size_t row, int column) const override;
};

}  // namespace vessamo::gui
