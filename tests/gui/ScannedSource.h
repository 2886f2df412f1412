#pragma once

// Reaching a source's categories as a person does: the category buttons of
// its entry in the source list. Shared by the result view's shell tests.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "KTExpandButton.h"
#include "KTWhatsAppTypeButton.h"
#include "ResultsPage.h"
#include "SourceListView.h"
#include "results/KTResultViewController.h"

namespace vessamo::test {

// The category button of the entry of that type (the tests write one of
// each), its panel opened and every other panel closed, so the visible
// buttons are that entry's; nullptr when there is no such entry.
inline gui::KTWhatsAppTypeButton* categoryButton(GuiHarness& harness, SourceEntryType type,
                                                 int btnType) {
    harness.window().showSources();
    gui::SourceListView& list = harness.window().sourceList();
    const auto panelsReady = [&] {
        for (auto* expand : list.findChildren<gui::KTExpandButton*>()) {
            const SourceListRow* row = harness.app().sourceList().entry(expand->entryId());
            if (row != nullptr && row->expanded != (row->type == type)) {
                expand->click();  // the list is rebuilt: look again
                return false;
            }
        }
        return true;
    };
    if (!waitUntil(panelsReady, 5000)) {
        return nullptr;
    }
    gui::KTWhatsAppTypeButton* found = nullptr;
    waitUntil(
        [&] {
            for (auto* button : list.findChildren<gui::KTWhatsAppTypeButton*>()) {
                if (button->btnType() == btnType && button->isVisible()) {
                    found = button;
                    return true;
                }
            }
            return false;
        },
        5000);
    return found;
}

inline bool showsResults(GuiHarness& harness, ResultCategory category) {
    return harness.window().resultPage() == &harness.window().results() &&
           harness.window().results().category() == category &&
           harness.app().resultView().state().page == ResultPage::Results;
}

// Clicks a category of the entry and waits until its page shows, after the
// scan it starts when the source was not scanned yet (clicked again then). The tip sheet after a
// scan is switched off: these tests are about what follows.
inline ::testing::AssertionResult openCategory(GuiHarness& harness, SourceEntryType type,
                                               ResultCategory category) {
    harness.app().defaults().setBool(kExampleAlertSuppress, true);
    gui::KTWhatsAppTypeButton* button = categoryButton(harness, type, static_cast<int>(category));
    if (button == nullptr) {
        return ::testing::AssertionFailure() << "no category button for that source";
    }
    button->click();
    if (!harness.waitForScan(120000)) {
        return ::testing::AssertionFailure() << "the scan did not end";
    }
    // A scan ends on its source's first category; the button then shows its own.
    if (!waitUntil([&] { return showsResults(harness, category); }, 2000)) {
        button = categoryButton(harness, type, static_cast<int>(category));
        if (button == nullptr) {
            return ::testing::AssertionFailure() << "no category button after the scan";
        }
        button->click();
    }
    if (!waitUntil([&] { return showsResults(harness, category); }, 10000)) {
        return ::testing::AssertionFailure() << "the category's page did not show";
    }
    return ::testing::AssertionSuccess();
}

// Lets a conversation that is being opened arrive. Its worker waits for
// this thread to take the conversation; the harness joins that worker when
// it goes, without running the event loop, so a test must not end while the
// hand-over is still queued.
class OpeningSettler {
public:
    explicit OpeningSettler(GuiHarness& harness) : harness_(harness) {}
    ~OpeningSettler() {
        waitUntil([this] { return !harness_.app().resultView().pages().bstartloadChat(); }, 30000);
    }
    OpeningSettler(const OpeningSettler&) = delete;
    OpeningSettler& operator=(const OpeningSettler&) = delete;

private:
    GuiHarness& harness_;
};

}  // namespace vessamo::test
