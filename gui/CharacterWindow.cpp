#include "CharacterWindow.h"

namespace vessamo::gui {

CharacterWindow::CharacterWindow(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent), app_(app) {}

void CharacterWindow::open() {}

}  // namespace vessamo::gui
