#pragma once

#include <QScrollArea>
#include <vector>

#include "app/OrlendoAppDelegate.h"
#include "common/NotificationCenter.h"

namespace vessamo::gui {

class KTScanVSButton;
class KTWhatAppView;

// The left side of the result layout: the controller's source list drawn
// row by row at the rows' own positions, with the scan button kept in view
// below it. The rows are rebuilt whenever the list changes (there are tens
// of them); the scroll position and the keyboard focus survive a rebuild.
class SourceListView : public QScrollArea {
    Q_OBJECT

public:
    SourceListView(OrlendoAppDelegate& app, NotificationCenter& notifications,
                   QWidget* parent = nullptr);

    // Draws the list anew from app.sourceList().
    void reload();
    // Off while a scan runs: the category buttons and the scan button.
    void setCategoryButtonsEnabled(bool enabled);

    [[nodiscard]] KTScanVSButton* scanButton() const { return scan_; }
    // The height the rows take, in logical pixels (points).
    [[nodiscard]] int documentHeight() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct PlacedRow {
        QWidget* widget;
        SourceListRow::Kind kind;
        SourceEntryId id;
        int placeholderType;
        int top;
        int height;
    };
    // What had the keyboard focus, so the rebuilt row can take it back.
    struct FocusMark {
        enum class Kind { None, Expand, Category, Placeholder, Scan } kind = Kind::None;
        SourceEntryId id;
        int number = 0;
    };

    [[nodiscard]] QWidget* makeRow(const SourceListRow& row, QWidget* document);
    [[nodiscard]] FocusMark focusMark() const;
    void restoreFocus(const FocusMark& mark);
    void layoutRows();
    void scheduleReload();

    OrlendoAppDelegate& app_;
    NotificationCenter& notifications_;
    QWidget* document_ = nullptr;
    std::vector<PlacedRow> rows_;
    std::vector<KTWhatAppView*> panels_;
    KTScanVSButton* scan_ = nullptr;
    bool categoriesEnabled_ = true;
    bool reloadPending_ = false;
    const KTIOSDeviceNode* shownCurrent_ = nullptr;
};

}  // namespace vessamo::gui
