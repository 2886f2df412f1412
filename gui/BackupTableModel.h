#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "backup/KTIOSDeviceNode.h"

namespace vessamo::gui {

// The backup records as table rows: picture and name, model, iOS version,
// backup time and size. It holds its own copy of the record pointers, so a
// rebuilt list shows only after reload().
class BackupTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, Model, Version, BackupTime, Size, ColumnCount };

    explicit BackupTableModel(QObject* parent = nullptr);

    void reload(std::vector<KTIOSDeviceNodePtr> records);
    [[nodiscard]] const std::vector<KTIOSDeviceNodePtr>& records() const { return records_; }

    // "1.2 MB" for the byte count of a decimal text; "" when the text is not one.
    [[nodiscard]] static QString readableSize(const std::string& bytes);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

private:
    [[nodiscard]] QVariant display(const KTIOSDeviceNode& record, int column) const;

    std::vector<KTIOSDeviceNodePtr> records_;
};

}  // namespace vessamo::gui
