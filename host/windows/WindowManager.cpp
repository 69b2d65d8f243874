#include "WindowManager.h"

#include "BrokerTableWid.h"
#include "DetailMessageBox.h"
#include "UserDataManager.h"
#include "VelmClient.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QToolTip>

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include <memory>
#include <mutex>

WindowManager* gWM = nullptr;

namespace {

constexpr const char* kStrategyLoggerName = "velm_strategy";
constexpr size_t kStrategyLogMaxBytes = 8 * 1024 * 1024;
constexpr size_t kStrategyLogFiles = 5;
constexpr int kTooltipShowMs = 10000;
constexpr int kPopupDetailLogType = 0;

std::shared_ptr<spdlog::logger> strategyLogger()
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    if (auto existing = spdlog::get(kStrategyLoggerName))
        return existing;
    const QString path = WindowManager::strategyLogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto logger = spdlog::rotating_logger_mt(kStrategyLoggerName, QDir::toNativeSeparators(path).toStdString(),
                                             kStrategyLogMaxBytes, kStrategyLogFiles);
    logger->set_pattern("[%Y-%m-%d %H:%M:%S.%e] [%l] %v");
    logger->flush_on(spdlog::level::info);
    return logger;
}

} // namespace

WindowManager::WindowManager(QObject* parent)
    : QObject(parent)
{
}

WindowManager::~WindowManager()
{
    if (gWM == this)
        gWM = nullptr;
}

void WindowManager::record(PopupRecord::Kind kind, const QString& title, const QString& text, const QString& detail,
                           QWidget* parent, bool answer)
{
    if (m_interactive)
        return;
    if (m_popups.size() >= RecordedPopups)
        m_popups.removeFirst();
    PopupRecord popup;
    popup.kind = kind;
    popup.title = title;
    popup.text = text;
    popup.detail = detail;
    popup.parent = parent;
    popup.answer = answer;
    m_popups.append(popup);
}

void WindowManager::popupMsgBoxInfo(QString text, QWidget* parent, QString detail)
{
    record(PopupRecord::Info, QString(), text, detail, parent);
    emit signalPopup(PopupRecord::Info, QString(), text, detail);
    // The details (the reasons of a failed import) can still be read once the box is closed.
    if (!detail.isEmpty())
        LogStgy(text + QLatin1Char('\n') + detail, kPopupDetailLogType, spdlog::level::info);
    if (!m_interactive)
        return;
    if (detail.isEmpty())
        QMessageBox(QMessageBox::Information, tr("提示"), text, QMessageBox::Ok, parent).exec();
    else
        DetailMessageBox(tr("提示"), text, detail, parent).exec();
}

bool WindowManager::popupMsgBoxConfirm(QString title, QString text, QWidget* parent)
{
    bool answer = false;
    if (m_interactive)
        answer = QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    else
        answer = m_confirmAnswers.isEmpty() ? m_defaultConfirmAnswer : m_confirmAnswers.takeFirst();
    record(PopupRecord::Confirm, title, text, QString(), parent, answer);
    emit signalPopup(PopupRecord::Confirm, title, text, QString());
    return answer;
}

void WindowManager::popupTooltip(QString text, QSize size)
{
    record(PopupRecord::Tooltip, QString(), text, QString(), nullptr);
    emit signalPopup(PopupRecord::Tooltip, QString(), text, QString());
    if (!m_interactive)
        return;
    // The tip stays while the cursor is within `size` of where it was shown; Qt takes that area
    // only relative to a widget, so without one under the cursor the tip keeps no area.
    const QPoint at = QCursor::pos();
    QWidget* under = QApplication::widgetAt(at);
    const QRect area = under ? QRect(under->mapFromGlobal(at), size) : QRect();
    QToolTip::showText(at, text, under, area, kTooltipShowMs);
}

QString WindowManager::strategyLogPath()
{
    QString dir = qEnvironmentVariable("VELM_LOG_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/logs");
    return dir + QStringLiteral("/schedord_strategy.log");
}

void WindowManager::initSpdLogSchedOrd()
{
    strategyLogger();
}

void WindowManager::LogStgy(QString text, int logType, spdlog::level::level_enum level)
{
    strategyLogger()->log(level, "[type {}] {}", logType, text.toStdString());
}

ISubModuleWid* WindowManager::createOrderWid(int accountId, Subwin_Type type, QWidget* parent)
{
    if (!UserDataManager::instance()->getUserData(accountId))
        return nullptr;
    return new BrokerTableWid(BrokerTableWid::Orders, accountId, type, parent);
}

ISubModuleWid* WindowManager::createTradeWid(int accountId, Subwin_Type type, QWidget* parent)
{
    if (!UserDataManager::instance()->getUserData(accountId))
        return nullptr;
    return new BrokerTableWid(BrokerTableWid::Trades, accountId, type, parent);
}

ISubModuleWid* WindowManager::createPositionWid(int accountId, Subwin_Type type, QWidget* parent)
{
    if (!UserDataManager::instance()->getUserData(accountId))
        return nullptr;
    return new BrokerTableWid(BrokerTableWid::Positions, accountId, type, parent);
}

VelmClient* WindowManager::getCurrentMainWindow() const
{
    return qobject_cast<VelmClient*>(m_mainWindow.data());
}

void WindowManager::setCurrentMainWindow(VelmClient* mainWindow)
{
    m_mainWindow = mainWindow;
}

void WindowManager::loadSettings()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("SchedOrd"));
    autoStartSingleTask = settings.value(QStringLiteral("autoStartSingleTask"), autoStartSingleTask).toBool();
    autoStartImportedTask = settings.value(QStringLiteral("autoStartImportedTask"), autoStartImportedTask).toBool();
    allowPastSetTime = settings.value(QStringLiteral("allowPastSetTime"), allowPastSetTime).toBool();
    creditShortSellOption = settings.value(QStringLiteral("creditShortSellOption"), creditShortSellOption).toBool();
}

void WindowManager::saveSettings() const
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("SchedOrd"));
    settings.setValue(QStringLiteral("autoStartSingleTask"), autoStartSingleTask);
    settings.setValue(QStringLiteral("autoStartImportedTask"), autoStartImportedTask);
    settings.setValue(QStringLiteral("allowPastSetTime"), allowPastSetTime);
    settings.setValue(QStringLiteral("creditShortSellOption"), creditShortSellOption);
}
