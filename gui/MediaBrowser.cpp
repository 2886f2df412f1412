#include "MediaBrowser.h"

namespace vessamo::gui {

MediaBrowser::MediaBrowser(OrlendoAppDelegate& app, QWidget* parent) : QWidget(parent), app_(app) {}

void MediaBrowser::reload() {}

}  // namespace vessamo::gui
