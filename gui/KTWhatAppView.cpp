#include "KTWhatAppView.h"

#include <QVBoxLayout>

#include "KTWhatsAppTypeButton.h"

namespace vessamo::gui {

KTWhatAppView::KTWhatAppView(const SourceListRow& panel, NotificationCenter& notifications,
                             QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    // Indented under the entry's picture, so the panel reads as the entry's own.
    layout->setContentsMargins(48, 4, 8, 4);
    layout->setSpacing(0);
    for (int type = KTWhatsAppTypeButton::kFirstType; type <= KTWhatsAppTypeButton::kLastType;
         ++type) {
        auto* button = new KTWhatsAppTypeButton(panel.record, type, notifications, this);
        layout->addWidget(button, 1);
        buttons_.push_back(button);
    }
    if (panel.record && panel.record->scanResult) {
        showCounts(*panel.record->scanResult);
    }
}

void KTWhatAppView::showCounts(const ScanResult& result) {
    const size_t counts[] = {
        result.WhatsAppConvChatArray.size() + result.whatsAppArray.size(),
        result.WhatsAppResourceArray.size(),
        result.WhatsAppCallArray.size(),
        result.WhatsAppContactArray.size(),
        result.WhatsAppFacContactArray.size(),
    };
    for (size_t at = 0; at < buttons_.size(); ++at) {
        buttons_[at]->setCount(counts[at]);
    }
}

void KTWhatAppView::setButtonsEnabled(bool enabled) {
    for (KTWhatsAppTypeButton* button : buttons_) {
        button->setEnabled(enabled);
    }
}

}  // namespace vessamo::gui
