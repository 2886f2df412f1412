#pragma once

// The result view of a small hand-made source, as the marking and export
// tests drive it: the real result page on a real controller, with the save
// sheet answered by the test and every opened folder recorded.
#include <QApplication>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "QtUiPort.h"
#include "ResultListModels.h"
#include "ResultsPage.h"
#include "app/OrlendoAppDelegate.h"
#include "common/NotificationCenter.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace vessamo::test {

// Chats: Ana, Ben, Cleo (three messages each). Contacts: four, one without
// a name. WhatsApp contacts: three. Calls: two. Media: a photo, a second
// photo and a video.
class MarkedResults {
public:
    static constexpr int kChats = 3;
    static constexpr int kContacts = 4;
    static constexpr int kNamedContacts = 3;
    static constexpr int kFavourites = 3;
    static constexpr int kCalls = 2;

    MarkedResults() {
        const char* names[] = {"Ana", "Ben", "Cleo"};
        for (int chat = 1; chat <= kChats; ++chat) {
            factory.chat(chat, names[chat - 1], "4917000000" + std::to_string(chat));
            for (int i = 0; i < 3; ++i) {
                factory.message(chat, "message " + std::to_string(i),
                                i % 2 == 0 ? Direction::Receive : Direction::Send,
                                AppleTime{700000000 + chat * 1000 + i * 60});
            }
        }
        factory.contact("Anna Schmidt", "+49 170 1111111");
        factory.contact("Ben Meyer", "+49 170 2222222");
        factory.contact("Carla Rossi", "+39 333 3333333");
        factory.contact("", "+1 555 0100");
        for (const char* name : {"Dora", "Emil", "Fina"}) {
            factory.favourite(name, std::string("4917") + name + "@s.whatsapp.net");
        }
        factory.call("Anna", "491701111111");
        factory.call("Ben", "491702222222");
        photo = home.path() + "/backup/photo.jpg";
        writeFile(photo, std::string(2048, 'p'));
        writeFile(home.path() + "/backup/beach.png", std::string(1024, 'b'));
        writeFile(home.path() + "/backup/clip.mp4", std::string(4096, 'v'));
        factory.media("Message/Media/491700000001@s.whatsapp.net/a/photo.jpg", photo);
        factory.media("Message/Media/491700000002@s.whatsapp.net/b/beach.png",
                      home.path() + "/backup/beach.png");
        factory.media("Message/Media/491700000003@s.whatsapp.net/c/clip.mp4",
                      home.path() + "/backup/clip.mp4");

        ui.setUrlOpener([this](const QString& url) { opened.push_back(url); });
        ui.setSaveAnswer([this](const SavePanelRequest& request) -> std::optional<std::string> {
            sheets.push_back(request);
            return answer;
        });
        app = std::make_unique<OrlendoAppDelegate>(ui, center, OrlendoAppDelegate::Options{});
        auto record = std::make_shared<KTIOSDeviceNode>();
        record->backUpFilePath = home.path() + "/backup";
        record->scanResult = factory.finish(SourceKind::Backup, record->backUpFilePath);
        record->bhasScanCompleted = true;
        app->currentNode = record;
        app->showScannedResults();
        page = std::make_unique<gui::ResultsPage>(*app);
        page->resize(1100, 760);
        page->show();
    }

    ~MarkedResults() {
        // An export's last step waits for this thread: let it end first.
        waitUntil([this] { return !app->exportCommands().isExporting(); }, 60000);
        page.reset();
        app.reset();
    }

    MarkedResults(const MarkedResults&) = delete;
    MarkedResults& operator=(const MarkedResults&) = delete;

    // Shows a list; the chats' first conversation has opened on return, so
    // the next row selection is not ignored.
    void show(ResultCategory category) {
        page->showCategory(category);
        QApplication::processEvents();
        waitUntil([this] { return !pages().bstartloadChat(); });
    }

    [[nodiscard]] ResultPages& pages() { return app->resultView().pages(); }
    [[nodiscard]] QAbstractItemModel* table() { return page->table()->model(); }

    [[nodiscard]] bool checked(int row) {
        const QModelIndex index = table()->index(row, gui::ResultListModel::CheckColumn);
        return index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }

    // A click on the check box of a row, where the table draws it.
    void clickCheckBox(int row) {
        QTableView* view = page->table();
        const QModelIndex index = view->model()->index(row, gui::ResultListModel::CheckColumn);
        view->scrollTo(index);
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.rect = view->visualRect(index);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        option.features |= QStyleOptionViewItem::HasDisplay;
        option.text = index.data().toString();
        const QRect box =
            view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
    }

    [[nodiscard]] QStringList openedFolders() const {
        QStringList folders;
        for (const QString& url : opened) {
            folders.push_back(QUrl(url).toLocalFile());
        }
        return folders;
    }

    TempHome home;
    UnansweredAlertGuard guard;
    ResultFactory factory;
    std::string photo;
    gui::QtUiPort ui;
    NotificationCenter center;
    std::unique_ptr<OrlendoAppDelegate> app;
    std::unique_ptr<gui::ResultsPage> page;
    QStringList opened;
    std::vector<SavePanelRequest> sheets;
    std::optional<std::string> answer = home.path() + "/out";
};

}  // namespace vessamo::test
