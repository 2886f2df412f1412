#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "common/UiPort.h"

class QLabel;
class QLineEdit;

namespace vessamo::gui {

// The sheet that asks for an encrypted backup's password: window-modal on
// the main window like the other sheets, the typed text never shown, a
// line under it saying why it asks again.
class PasswordSheet : public QDialog {
    Q_OBJECT

public:
    PasswordSheet(QWidget* parent, const PasswordRequest& request);

    // Shows the sheet and waits in an event loop of its own; the password,
    // or nullopt for Cancel (or when the window went away meanwhile).
    [[nodiscard]] static std::optional<std::string> ask(QWidget* parent,
                                                        const PasswordRequest& request);

    [[nodiscard]] QLineEdit* field() const { return field_; }

private:
    QLineEdit* field_;
    QLabel* reason_;
};

}  // namespace vessamo::gui
