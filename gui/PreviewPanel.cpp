#include "PreviewPanel.h"

namespace vessamo::gui {

PreviewPanel::PreviewPanel(OrlendoAppDelegate& app, QWidget* parent) : QWidget(parent), app_(app) {}

void PreviewPanel::preview(const QString&, const QString&) {}

}  // namespace vessamo::gui
