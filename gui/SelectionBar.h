#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace vessamo::gui {

class RecoveryProgressWindow;

// Below the showing list: its select-all box, how many records are marked
// and the button that saves the marked records (the combined recovery).
class SelectionBar : public QWidget {
    Q_OBJECT

public:
    explicit SelectionBar(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // The page switched to another list.
    void setCategory(ResultCategory category);
    // Marks changed somewhere: re-read the count and the boxes.
    void refresh();

    // The select-all box of a list (chats, media, contacts, WhatsApp
    // contacts); null for the calls, which have none.
    [[nodiscard]] QCheckBox* selectAllBox(ResultCategory category) const;
    [[nodiscard]] QLabel* selectionLabel() const { return label_; }
    [[nodiscard]] QPushButton* saveButton() const { return save_; }
    [[nodiscard]] RecoveryProgressWindow* recoveryWindow() const { return recovery_; }

signals:
    // The select-all box changed the marks of the whole list.
    void marksChanged();

private:
    void selectAll(ResultCategory category, bool on);
    void recover();

    OrlendoAppDelegate& app_;
    ResultCategory category_ = ResultCategory::None;
    QCheckBox* boxes_[4];  // chats, media, contacts, WhatsApp contacts
    QLabel* label_;
    QPushButton* save_;
    RecoveryProgressWindow* recovery_;
};

}  // namespace vessamo::gui
