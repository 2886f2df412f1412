#include "SelectionBar.h"

namespace vessamo::gui {

SelectionBar::SelectionBar(OrlendoAppDelegate& app, QWidget* parent) : QWidget(parent), app_(app) {}

void SelectionBar::setCategory(ResultCategory) {}

void SelectionBar::refresh() {}

}  // namespace vessamo::gui
