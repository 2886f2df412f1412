#pragma once

#include <QWidget>
#include <vector>

#include "app/SourceList.h"
#include "common/NotificationCenter.h"

namespace vessamo::gui {

class KTWhatsAppTypeButton;

// The expanded panel below a source entry: its five category buttons, with
// the number of items of each once the source has been scanned.
class KTWhatAppView : public QWidget {
    Q_OBJECT

public:
    KTWhatAppView(const SourceListRow& panel, NotificationCenter& notifications,
                  QWidget* parent = nullptr);

    [[nodiscard]] const std::vector<KTWhatsAppTypeButton*>& buttons() const { return buttons_; }
    void setButtonsEnabled(bool enabled);

private:
    void showCounts(const ScanResult& result);

    std::vector<KTWhatsAppTypeButton*> buttons_;
};

}  // namespace vessamo::gui
