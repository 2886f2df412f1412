#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QPixmap;
class QWidget;

#include "results/ResultViewState.h"
#include "results/ScanResult.h"

namespace vessamo {
class OrlendoAppDelegate;
}

namespace vessamo::gui {

class MainWindow;

// `vessamo --screenshots DIR`: walks through the main screens as a person
// would (home, the sources with one expanded, a scan under way, the sheet
// after it, the chats, the preferences), saves each as a PNG in DIR and
// quits, with status 1 when a picture could not be taken.
class ScreenshotTour : public QObject {
public:
    static constexpr int kTickMs = 40;
    static constexpr int kSettleMs = 400;  // layouts and the first paints
    static constexpr int kStepTimeoutMs = 120000;

    ScreenshotTour(OrlendoAppDelegate& app, MainWindow& window, QString folder,
                   QObject* parent = nullptr);

    // The tour asked for by the program's arguments, started; null when the
    // arguments do not ask for one or there is no window.
    [[nodiscard]] static std::unique_ptr<ScreenshotTour> fromArguments(const QStringList& arguments,
                                                                       MainWindow* window);

    void start();
    [[nodiscard]] const QStringList& failures() const { return failures_; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Step {
        QString file;
        std::function<void()> prepare;
        std::function<bool()> ready;
        std::function<QPixmap()> picture;
    };

    using ChatTest = std::function<bool(const KTWhatsAppCovNode&, const MessageRange&)>;

    void addSteps();
    void addConversationSteps();
    [[nodiscard]] bool resultsShow(ResultCategory category) const;
    void openChatWhere(const ChatTest& wanted);
    [[nodiscard]] bool openedChatShows();
    void selectContactWithPicture();
    [[nodiscard]] bool searchShows();
    void advance();
    void finish();
    bool save(const QString& file, const QPixmap& picture);
    [[nodiscard]] bool scanIsMidway() const;
    [[nodiscard]] QPixmap windowWithSheet() const;
    void answerSheet();
    void expandFirstBackup();
    void clickCategory(int btnType);

    OrlendoAppDelegate& app_;
    MainWindow& window_;
    QString folder_;
    std::vector<Step> steps_;
    size_t current_ = 0;
    bool prepared_ = false;
    QElapsedTimer sinceReady_;
    QElapsedTimer sincePrepared_;
    QBasicTimer timer_;
    QStringList failures_;
    const KTWhatsAppCovNode* wantedChat_ = nullptr;
    int wantedKind_ = 0;  // a MessageKind of the chat view
    QString searchText_;
};

}  // namespace vessamo::gui
