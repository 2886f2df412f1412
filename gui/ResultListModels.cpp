#include "ResultListModels.h"

#include <QFileInfo>
#include <QFont>
#include <QLocale>
#include <algorithm>

#include "RowMarks.h"
#include "Theme.h"
#include "export/ReportOrigin.h"

namespace vessamo::gui {

namespace {

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// One line of a message for a list: its text, or what it carries.
QString previewOf(const KTWhatsAppNode& message) {
    if (!message.messageContent.empty()) {
        return qtext(message.messageContent).simplified();
    }
    if (!message.vcardName.empty()) {
        return QObject::tr("Contact card: %1").arg(qtext(message.vcardName).simplified());
    }
    if (!message.locationInfo.empty()) {
        return QObject::tr("Location");
    }
    if (message.isHaveAttch || !message.messageAttchpath.empty()) {
        return QObject::tr("Attachment");
    }
    // What carving brings back may have lost its text and its file.
    return message.bDeleted ? QObject::tr("Recovered message") : QString();
}

// The newest message that has something to show: recovered messages may
// have lost their text. A few are looked at, never the whole chat.
QString lastPreview(const MessageRange& messages) {
    constexpr size_t kLookBack = 50;
    for (size_t seen = 0; seen < std::min(messages.size(), kLookBack); ++seen) {
        QString preview = previewOf(messages[messages.size() - 1 - seen]);
        if (!preview.isEmpty()) {
            return preview;
        }
    }
    return {};
}

// Numbers are stored as WhatsApp addresses ("4917...@s.whatsapp.net").
QString numberOf(std::string_view jid) {
    return qtext(jid.substr(0, jid.find('@')));
}

}  // namespace

ResultListModel::ResultListModel(ResultPages& pages, QStringList headers, QObject* parent)
    : QAbstractTableModel(parent), pages_(pages), headers_(std::move(headers)) {}

void ResultListModel::reload() {
    beginResetModel();
    forgetCachedTexts();
    endResetModel();
}

void ResultListModel::refreshMarks() {
    const int count = rowCount();
    if (count > 0) {
        emit dataChanged(index(0, CheckColumn), index(count - 1, CheckColumn),
                         {Qt::CheckStateRole});
    }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == CheckColumn) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

bool ResultListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != CheckColumn ||
        index.row() < 0 || static_cast<size_t>(index.row()) >= rows() || !listShows()) {
        return false;
    }
    const bool on = value.toInt() == Qt::Checked;
    RowMarks(pages_).set({static_cast<size_t>(index.row())}, on);
    // Also when nothing changed: the view drew the box it expected.
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(std::min<size_t>(rows(), static_cast<size_t>(INT32_MAX)));
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    // The list is read live: a row the pages dropped meanwhile shows nothing.
    if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= rows()) {
        return {};
    }
    const auto row = static_cast<size_t>(index.row());
    if (role == Qt::DisplayRole) {
        return cellText(row, index.column());
    }
    if (role == Qt::CheckStateRole) {
        if (index.column() != CheckColumn || !listShows()) {
            return {};
        }
        return QVariant(static_cast<int>(pages_.isMarked(row) ? Qt::Checked : Qt::Unchecked));
    }
    if (role == Qt::ToolTipRole) {
        if (QVariant own = cellData(row, index.column(), role); own.isValid()) {
            return own;
        }
        const QString text = cellText(row, index.column());
        return text.size() > 40 ? QVariant(text) : QVariant();
    }
    return cellData(row, index.column(), role);
}

QVariant ResultListModel::cellData(size_t, int, int) const {
    return {};
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < headers_.size()) {
        return headers_.at(section);
    }
    return {};
}

// --- Chats -----------------------------------------------------------------

ChatListModel::ChatListModel(ResultPages& pages, QObject* parent)
    : ResultListModel(pages, {tr("Chat"), tr("Last message"), tr("Date"), tr("Recovered")},
                      parent) {}

MessageRange ChatListModel::messagesAt(size_t row) const {
    const ResultListsPtr& lists = pages().lists();
    if (!lists || !lists->result) {
        return {};
    }
    return lists->result->messagesOf(*pages().chatRows()[row]);
}

int ChatListModel::recoveredCount(size_t row) const {
    if (row >= rows()) {
        return 0;
    }
    const KTWhatsAppCovNode* chat = pages().chatRows()[row];
    if (auto known = recovered_.find(chat); known != recovered_.end()) {
        return known->second;
    }
    const MessageRange messages = messagesAt(row);
    const auto count = static_cast<int>(std::count_if(
        messages.begin(), messages.end(), [](const KTWhatsAppNode& m) { return m.bDeleted; }));
    recovered_.emplace(chat, count);
    return count;
}

QString ChatListModel::cellText(size_t row, int column) const {
    const KTWhatsAppCovNode& chat = *pages().chatRows()[row];
    switch (column) {
        case Name:
            if (!chat.currentChatName.empty()) {
                return qtext(chat.currentChatName);
            }
            return chat.currentChatNumber ? numberOf(*chat.currentChatNumber) : QString();
        case LastMessage:
            return lastPreview(messagesAt(row));
        case Date: {
            const MessageRange messages = messagesAt(row);
            return messages.empty()
                       ? QString()
                       : QString::fromStdString(dates_.messageDate(messages.back().messageDate));
        }
        case Recovered: {
            const int count = recoveredCount(row);
            if (isDeletedChatAt(row)) {
                return tr("Deleted chat \u00b7 %n recovered", nullptr, count);
            }
            return count > 0 ? tr("%n recovered", nullptr, count) : QString();
        }
        default:
            return {};
    }
}

bool ChatListModel::isDeletedChatAt(size_t row) const {
    const ResultListsPtr& lists = pages().lists();
    return lists && lists->result && row < rows() &&
           isDeletedChat(*lists->result, *pages().chatRows()[row]);
}

QVariant ChatListModel::cellData(size_t row, int column, int role) const {
    if (column == Recovered && role == Qt::ForegroundRole && recoveredCount(row) > 0) {
        return Theme::accentForText();
    }
    // A row that only recovered messages make must not pass for the
    // phone's own chat.
    if (role == Qt::ToolTipRole && pages().chatRows()[row]->bDeleted) {
        return isDeletedChatAt(row) ? tr("A deleted chat: only its recovered messages are left.")
                                    : tr("Messages recovered from deleted records of this chat.");
    }
    if (column == Name && role == Qt::FontRole && pages().chatRows()[row]->bDeleted) {
        QFont boldItalic;
        boldItalic.setBold(true);
        boldItalic.setItalic(true);
        return boldItalic;
    }
    if (column == Name && role == Qt::FontRole) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return {};
}

// --- Media -----------------------------------------------------------------

MediaListModel::MediaListModel(ResultPages& pages, QObject* parent)
    : ResultListModel(pages, {tr("File name"), tr("Kind"), tr("Size")}, parent) {}

QString MediaListModel::cellText(size_t row, int column) const {
    const KTWhatsAppResourceNode* node = pages().resourceRows()[row];
    switch (column) {
        case Name:
            return qtext(node->nodeName);
        case Kind:
            return qtext(node->nodeType);
        case Size: {
            if (!node->nodeSize.empty()) {
                return qtext(node->nodeSize);
            }
            auto known = sizes_.find(node);
            if (known == sizes_.end()) {
                const QFileInfo file(qtext(node->nodePath));
                const QString size =
                    file.isFile() ? QLocale().formattedDataSize(file.size()) : QString();
                known = sizes_.emplace(node, size).first;
            }
            return known->second;
        }
        default:
            return {};
    }
}

QVariant MediaListModel::cellData(size_t, int column, int role) const {
    if (column == Size && role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

// --- Calls -------------------------------------------------------------------

CallListModel::CallListModel(ResultPages& pages, QObject* parent)
    : ResultListModel(
          pages, {tr("Name"), tr("Number"), tr("Direction"), tr("Date"), tr("Duration")}, parent) {}

QString CallListModel::cellText(size_t row, int column) const {
    const KTCallHistoryNode& call = *pages().callRows()[row];
    switch (column) {
        case Name:
            return qtext(call.callName);
        case Number:
            return numberOf(call.callPhone);
        case Direction:
            return qtext(call.callType);
        case Date:
            return QString::fromStdString(dates_.callDate(call.callDate));
        case Duration:
            return qtext(call.callDuration);
        default:
            return {};
    }
}

// --- Contacts ----------------------------------------------------------------

ContactListModel::ContactListModel(ResultPages& pages, QObject* parent)
    : ResultListModel(pages, {tr("Name"), tr("Phone numbers"), tr("E-mail")}, parent) {}

QString ContactListModel::cellText(size_t row, int column) const {
    const KTContactNode& contact = *pages().contactRows()[row];
    switch (column) {
        case Name:
            return qtext(contact.contactName).simplified();
        case Numbers:
            return qtext(contact.contactPhone).simplified();
        case Email:
            return qtext(contact.contactEmail).simplified();
        default:
            return {};
    }
}

// --- WhatsApp contacts ---------------------------------------------------------

FavouriteListModel::FavouriteListModel(ResultPages& pages, QObject* parent)
    : ResultListModel(pages, {tr("Name"), tr("WhatsApp number"), tr("Status")}, parent) {}

QString FavouriteListModel::cellText(size_t row, int column) const {
    const KTWhatsAppFavContact& contact = *pages().favRows()[row];
    switch (column) {
        case Name:
            return qtext(contact.contactName);
        case Number:
            return numberOf(contact.whatsAppID);
        case Status:
            return qtext(contact.contactStatu).simplified();
        default:
            return {};
    }
}

}  // namespace vessamo::gui
