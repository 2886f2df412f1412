#include "ResultSearchField.h"

namespace vessamo::gui {

ResultSearchField::ResultSearchField(OrlendoAppDelegate& app, QWidget* parent)
    : QLineEdit(parent), app_(app) {}

void ResultSearchField::reset() {}

}  // namespace vessamo::gui
