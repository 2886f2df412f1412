#include "ExportBar.h"

namespace vessamo::gui {

ExportBar::ExportBar(OrlendoAppDelegate& app, QWidget* parent) : QWidget(parent), app_(app) {}

void ExportBar::setCategory(ResultCategory) {}

}  // namespace vessamo::gui
