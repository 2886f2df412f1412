#include "BackupTableModel.h"

#include <QLocale>
#include <charconv>

#include "KTDeviceView.h"

namespace vessamo::gui {

BackupTableModel::BackupTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void BackupTableModel::reload(std::vector<KTIOSDeviceNodePtr> records) {
    beginResetModel();
    records_ = std::move(records);
    endResetModel();
}

QString BackupTableModel::readableSize(const std::string& bytes) {
    qint64 value = 0;
    const char* end = bytes.data() + bytes.size();
    const auto [stop, error] = std::from_chars(bytes.data(), end, value);
    if (bytes.empty() || error != std::errc() || stop != end || value < 0) {
        return {};
    }
    return QLocale().formattedDataSize(value, 1, QLocale::DataSizeSIFormat);
}

int BackupTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int BackupTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant BackupTableModel::display(const KTIOSDeviceNode& record, int column) const {
    switch (column) {
        case Name:
            return QString::fromStdString(record.strDeviceName);
        case Model:
            return QString::fromStdString(record.strDeviceType.value_or(""));
        case Version:
            return QString::fromStdString(record.strIOSVersion);
        case BackupTime:
            return QString::fromStdString(record.strDeviceBackUpTime);
        case Size:
            return readableSize(record.strDeviceSize);
        default:
            return {};
    }
}

QVariant BackupTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= records_.size()) {
        return {};
    }
    const KTIOSDeviceNode& record = *records_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return display(record, index.column());
        case Qt::DecorationRole:
            return index.column() == Name ? QVariant(KTDeviceView::pictureOf(record)) : QVariant();
        case Qt::ToolTipRole:
            if (index.column() == Size && !record.strDeviceSize.empty()) {
                return tr("%1 bytes").arg(QString::fromStdString(record.strDeviceSize));
            }
            return index.column() == Name ? QString::fromStdString(record.backUpFilePath)
                                          : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                          : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant BackupTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case Name:
            return QStringLiteral("Name");
        case Model:
            return tr("Model");
        case Version:
            return tr("iOS Version");
        case BackupTime:
            return tr("Backup Time");
        case Size:
            return tr("Size");
        default:
            return {};
    }
}

}  // namespace vessamo::gui
