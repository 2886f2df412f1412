#include "DetailPane.h"

namespace vessamo::gui {

DetailPane::DetailPane(OrlendoAppDelegate& app, QWidget* parent) : QWidget(parent), app_(app) {}

void DetailPane::showDetails(ResultCategory) {}

}  // namespace vessamo::gui
