#include "VelmClient.h"

#include "FramelessFloatDlg.h"
#include "ISubModuleWid.h"
#include "SchedOrdSettingsDlg.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "WindowManager.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QLibraryInfo>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTranslator>

#include <algorithm>
#include <memory>

const char* const VelmClient::ModuleFileName = "ScheduledOrder";
const char* const VelmClient::WindowFactorySymbol = "CreateISubModuleWid_ScheduledOrderWid";
const char* const VelmClient::DialogFactorySymbol = "CreateISubModuleDlg_SOModifySubTaskParamWid";

namespace {

constexpr int kDefaultWidth = 1500;
constexpr int kDefaultHeight = 820;
const char* const kGeometryKey = "MainWindow/geometry";

void tellTrader(const QString& text, QWidget* parent, const QString& detail = QString())
{
    if (gWM)
        gWM->popupMsgBoxInfo(text, parent, detail);
}

} // namespace

bool VelmClient::installChineseTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

const QList<int>& VelmClient::zoomSteps()
{
    static const QList<int> steps{80, 90, 100, 110, 125, 150};
    return steps;
}

VelmClient::VelmClient(QWidget* parent)
    : QMainWindow(parent)
    , m_mdiArea(new QMdiArea(this))
{
    setObjectName(QStringLiteral("VelmClient"));
    setWindowTitle(tr("Velm 交易客户端"));
    m_mdiArea->setObjectName(QStringLiteral("mdiArea_modules"));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    buildMenus();
    statusBar()->showMessage(tr("定时委托模块未加载"));
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, &VelmClient::showActiveWindowInStatusBar);
    resize(kDefaultWidth, kDefaultHeight);
    if (gWM)
        gWM->setCurrentMainWindow(this);
}

// The module library is never unloaded: its windows, still children of this window while it is
// destroyed, run its code until the last one is gone. The window area reports its windows going
// while QWidget tears it down, when this is no longer a VelmClient.
VelmClient::~VelmClient()
{
    disconnect(m_mdiArea, nullptr, this, nullptr);
}

QString VelmClient::moduleFilePath() const
{
    return m_module ? m_module->fileName() : QString();
}

QDialog* VelmClient::settingsDialog() const
{
    return m_settingsDialog.data();
}

bool VelmClient::loadScheduledOrderModule(const QString& moduleDir, QString* errorString)
{
    if (isModuleLoaded())
        return true;
    return tryLoadModule(moduleDir.isEmpty() ? QCoreApplication::applicationDirPath() : QDir(moduleDir).absolutePath(),
                         errorString);
}

bool VelmClient::tryLoadModule(const QString& directory, QString* errorString)
{
    auto library = std::make_unique<QLibrary>(QDir(directory).filePath(QLatin1String(ModuleFileName)));
    if (!library->load()) {
        return failModuleLoad(tr("无法加载定时委托模块 %1（目录：%2）")
                                  .arg(QLatin1String(ModuleFileName), QDir::toNativeSeparators(directory)),
                              library->errorString(), errorString);
    }

    const auto windowFactory = reinterpret_cast<SubModuleWidFactory>(library->resolve(WindowFactorySymbol));
    const auto dialogFactory = reinterpret_cast<SubModuleDlgFactory>(library->resolve(DialogFactorySymbol));
    if (!windowFactory || !dialogFactory) {
        const QString path = library->fileName();
        library->unload();
        return failModuleLoad(tr("定时委托模块 %1 缺少入口函数 %2")
                                  .arg(path, QLatin1String(windowFactory ? DialogFactorySymbol : WindowFactorySymbol)),
                              QString(), errorString);
    }

    m_module = library.release();
    m_module->setParent(this);
    m_windowFactory = windowFactory;
    m_dialogFactory = dialogFactory;
    // The module's modify dialog is shown inside the host's frameless dialog.
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, m_dialogFactory);
    statusBar()->showMessage(tr("定时委托模块已加载"));
    return true;
}

bool VelmClient::failModuleLoad(const QString& message, const QString& detail, QString* errorString)
{
    if (errorString)
        *errorString = detail.isEmpty() ? message : message + QLatin1Char('\n') + detail;
    statusBar()->showMessage(message);
    tellTrader(message, this, detail);
    return false;
}

ISubModuleWid* VelmClient::openScheduledOrderWindow(int accountId)
{
    if (!isModuleLoaded()) {
        tellTrader(tr("定时委托模块未加载，无法打开定时委托窗口"), this);
        return nullptr;
    }
    // The module only serves accounts the host has registered.
    if (!UserDataManager::instance()->getUserData(accountId)) {
        tellTrader(tr("账户 %1 未登录，无法打开定时委托窗口").arg(accountId), this);
        return nullptr;
    }
    forgetClosedWindows();
    if (ModuleWindow* open = findModuleWindow(accountId); open && !open->window->allowMultipleInstances()) {
        m_mdiArea->setActiveSubWindow(open->subWindow);
        return open->window;
    }
    ISubModuleWid* window = m_windowFactory(accountId, 0, nullptr);
    if (!window) {
        tellTrader(tr("账户 %1 的账户类型不支持定时委托").arg(accountId), this);
        return nullptr;
    }
    embedModuleWindow(window, accountId);
    return window;
}

void VelmClient::embedModuleWindow(ISubModuleWid* window, int accountId)
{
    QMdiSubWindow* subWindow = m_mdiArea->addSubWindow(window);
    subWindow->setAttribute(Qt::WA_DeleteOnClose);
    const UserData* account = UserDataManager::instance()->getUserData(accountId);
    subWindow->setWindowTitle(tr("定时委托 - %1（%2）").arg(account->AccountName).arg(accountId));
    subWindow->installEventFilter(this);
    m_windows.append({window, subWindow, accountId});
    subWindow->showMaximized();
    window->initWid();
    window->setScalePercent(m_zoomPercent);
}

QList<ISubModuleWid*> VelmClient::moduleWindows() const
{
    QList<ISubModuleWid*> windows;
    for (const ModuleWindow& entry : m_windows) {
        if (entry.window && entry.subWindow)
            windows.append(entry.window);
    }
    return windows;
}

bool VelmClient::closeModuleWindow(ISubModuleWid* window)
{
    for (const ModuleWindow& entry : m_windows) {
        if (entry.window == window && entry.subWindow)
            return entry.subWindow->close();
    }
    return false;
}

void VelmClient::setZoomPercent(int percent)
{
    if (!zoomSteps().contains(percent) || percent == m_zoomPercent)
        return;
    m_zoomPercent = percent;
    for (QAction* action : m_zoomActions->actions())
        action->setChecked(action->data().toInt() == percent);
    for (ISubModuleWid* window : moduleWindows())
        window->setScalePercent(percent);
}

void VelmClient::OpenSettingSystemPageSchedOrd()
{
    if (m_settingsDialog) {
        m_settingsDialog->raise();
        m_settingsDialog->activateWindow();
        return;
    }
    auto* dialog = new SchedOrdSettingsDlg(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_settingsDialog = dialog;
    dialog->open();
}

void VelmClient::addModalDlg(QWidget* dialog)
{
    if (!dialog)
        return;
    // The module hands the dialog over and never deletes it.
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->adjustSize();
    dialog->move(mapToGlobal(rect().center()) - dialog->rect().center());
}

void VelmClient::closeEvent(QCloseEvent* event)
{
    forgetClosedWindows();
    for (ISubModuleWid* window : moduleWindows()) {
        if (!window->canClose()) {
            event->ignore();
            return;
        }
    }
    rememberGeometry();
    event->accept();
}

void VelmClient::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        placeOnScreen();
    }
    QMainWindow::showEvent(event);
}

void VelmClient::placeOnScreen()
{
    const QRect available = screen()->availableGeometry();
    const QByteArray saved = QSettings().value(QLatin1String(kGeometryKey)).toByteArray();
    // A window remembered on a larger screen starts afresh.
    if (!saved.isEmpty() && restoreGeometry(saved) && available.contains(frameGeometry()))
        return;
    // What the window frame adds, once the window system has told it.
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(QSize(kDefaultWidth, kDefaultHeight).boundedTo(available.size() - frame));
    move(available.topLeft() + QPoint((available.width() - frameGeometry().width()) / 2,
                                      (available.height() - frameGeometry().height()) / 2));
}

void VelmClient::rememberGeometry() const
{
    QSettings().setValue(QLatin1String(kGeometryKey), saveGeometry());
}

void VelmClient::showActiveWindowInStatusBar(QMdiSubWindow* subWindow)
{
    if (subWindow)
        statusBar()->showMessage(tr("当前窗口：%1").arg(subWindow->windowTitle()));
}

bool VelmClient::eventFilter(QObject* watched, QEvent* event)
{
    const int closing = event->type() == QEvent::Close ? indexOfSubWindow(watched) : -1;
    if (closing >= 0) {
        ISubModuleWid* window = m_windows[closing].window;
        if (window && !window->canClose()) {
            event->ignore();
            return true;
        }
        // canClose() may have run a message box's event loop: look the entry up again.
        const int index = indexOfSubWindow(watched);
        if (index >= 0)
            m_windows.removeAt(index);
    }
    return QMainWindow::eventFilter(watched, event);
}

void VelmClient::buildMenus()
{
    m_accountMenu = menuBar()->addMenu(tr("账户"));
    m_accountMenu->setObjectName(QStringLiteral("menu_account"));
    connect(m_accountMenu, &QMenu::aboutToShow, this, &VelmClient::fillAccountMenu);
    fillAccountMenu();

    QMenu* viewMenu = menuBar()->addMenu(tr("视图"));
    viewMenu->setObjectName(QStringLiteral("menu_view"));
    m_zoomActions = new QActionGroup(this);
    for (const int percent : zoomSteps()) {
        QAction* action = viewMenu->addAction(tr("缩放 %1%").arg(percent));
        action->setObjectName(QStringLiteral("action_zoom_%1").arg(percent));
        action->setCheckable(true);
        action->setChecked(percent == m_zoomPercent);
        action->setData(percent);
        m_zoomActions->addAction(action);
        connect(action, &QAction::triggered, this, [this, percent] { setZoomPercent(percent); });
    }

    QMenu* settingsMenu = menuBar()->addMenu(tr("设置"));
    settingsMenu->setObjectName(QStringLiteral("menu_settings"));
    QAction* schedOrdSettings = settingsMenu->addAction(tr("定时委托设置..."));
    schedOrdSettings->setObjectName(QStringLiteral("action_settings_schedOrd"));
    connect(schedOrdSettings, &QAction::triggered, this, &VelmClient::OpenSettingSystemPageSchedOrd);
}

// Rebuilt each time the menu opens: accounts may be registered after the window was built.
void VelmClient::fillAccountMenu()
{
    m_accountMenu->clear();
    const QList<int> accountIds = UserDataManager::instance()->accountIds();
    for (const int accountId : accountIds) {
        const UserData* account = UserDataManager::instance()->getUserData(accountId);
        QAction* action = m_accountMenu->addAction(tr("%1（%2）定时委托").arg(account->AccountName).arg(accountId));
        action->setObjectName(QStringLiteral("action_openSchedOrd_%1").arg(accountId));
        connect(action, &QAction::triggered, this, [this, accountId] { openScheduledOrderWindow(accountId); });
    }
    if (accountIds.isEmpty())
        m_accountMenu->addAction(tr("没有已登录的账户"))->setEnabled(false);
}

VelmClient::ModuleWindow* VelmClient::findModuleWindow(int accountId)
{
    for (ModuleWindow& entry : m_windows) {
        if (entry.accountId == accountId && entry.window && entry.subWindow)
            return &entry;
    }
    return nullptr;
}

int VelmClient::indexOfSubWindow(const QObject* subWindow) const
{
    for (int i = 0; i < m_windows.size(); ++i) {
        if (m_windows[i].subWindow == subWindow)
            return i;
    }
    return -1;
}

void VelmClient::forgetClosedWindows()
{
    m_windows.erase(std::remove_if(m_windows.begin(), m_windows.end(),
                                   [](const ModuleWindow& entry) { return !entry.window || !entry.subWindow; }),
                    m_windows.end());
}
