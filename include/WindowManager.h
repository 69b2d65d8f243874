#pragma once

#include "VelmBaseExport.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include "SubwinType.h"

#include <spdlog/common.h>

class ISubModuleWid;
class QWidget;
class VelmClient;

// What a popup showed, as the non-interactive mode records it.
struct PopupRecord
{
    enum Kind { Info, Confirm, Tooltip };
    Kind kind = Info;
    QString title;
    QString text;
    QString detail;
    QPointer<QWidget> parent;
    bool answer = false;        // the answer a confirmation returned
};

// The host's window manager: message boxes, confirmations, tool tips, the strategy log and the
// scheduled-order settings. Every popup is announced. In non-interactive mode (tests, the
// headless demo) popups are recorded, the latest RecordedPopups of them, instead of shown; they
// return at once, and confirmations return the scripted answer. Shown popups are not recorded.
class VELM_BASE_EXPORT WindowManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int RecordedPopups = 1000;

    explicit WindowManager(QObject* parent = nullptr);
    ~WindowManager() override;

    void popupMsgBoxInfo(QString text, QWidget* parent, QString detail);
    bool popupMsgBoxConfirm(QString title, QString text, QWidget* parent);
    void popupTooltip(QString text, QSize size);

    // Prepares the rotating scheduled-order strategy log (once; later calls keep it).
    void initSpdLogSchedOrd();
    // Writes one line of the given log type to the strategy log.
    static void LogStgy(QString text, int logType, spdlog::level::level_enum level);
    static QString strategyLogPath();

    // The host's order, trade and position windows of an account (the caller owns them through
    // `parent`); null for an account the host does not know.
    ISubModuleWid* createOrderWid(int accountId, Subwin_Type type, QWidget* parent);
    ISubModuleWid* createTradeWid(int accountId, Subwin_Type type, QWidget* parent);
    ISubModuleWid* createPositionWid(int accountId, Subwin_Type type, QWidget* parent);

    // The host's main window, or null when none is open.
    VelmClient* getCurrentMainWindow() const;
    void setCurrentMainWindow(VelmClient* mainWindow);

    // Non-interactive mode.
    void setInteractive(bool interactive) { m_interactive = interactive; }
    bool isInteractive() const { return m_interactive; }
    // Answers for the next confirmations, in order; `defaultConfirmAnswer` once they run out.
    void queueConfirmAnswer(bool answer) { m_confirmAnswers.append(answer); }
    void setDefaultConfirmAnswer(bool answer) { m_defaultConfirmAnswer = answer; }
    const QList<PopupRecord>& popups() const { return m_popups; }
    void clearPopups() { m_popups.clear(); }

    // Scheduled-order settings (the client loads and saves them with QSettings).
    bool autoStartSingleTask = true;
    bool autoStartImportedTask = false;
    bool allowPastSetTime = false;
    bool creditShortSellOption = false;

    void loadSettings();
    void saveSettings() const;

signals:
    // A popup was recorded (non-interactive mode) or is about to be shown (for a confirmation:
    // was answered).
    void signalPopup(int kind, QString title, QString text, QString detail);

private:
    void record(PopupRecord::Kind kind, const QString& title, const QString& text, const QString& detail,
                QWidget* parent, bool answer = false);

    bool m_interactive = true;
    bool m_defaultConfirmAnswer = false;
    QList<bool> m_confirmAnswers;
    QList<PopupRecord> m_popups;
    QPointer<QObject> m_mainWindow;
};

// The host's one window manager.
extern VELM_BASE_EXPORT WindowManager* gWM;
