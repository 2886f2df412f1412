#pragma once

#include <QWidget>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

namespace vessamo::gui {

// The bytes of the database the scan read, as characters, and their export
// to a text file.
class CharacterWindow : public QWidget {
    Q_OBJECT

public:
    explicit CharacterWindow(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    // Opens the window on the scanned database.
    void open();

private:
    OrlendoAppDelegate& app_;
};

}  // namespace vessamo::gui
