#pragma once

#include "VelmBaseExport.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

class ISubModuleDlg;
class ISubModuleWid;
class QActionGroup;
class QDialog;
class QLibrary;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

// The host's main window: loads modules by file name, resolves their factories by symbol name,
// embeds their windows, and offers zoom and the scheduled-order settings page.
class VELM_BASE_EXPORT VelmClient : public QMainWindow
{
    Q_OBJECT
public:
    using SubModuleWidFactory = ISubModuleWid* (*)(int accountId, int, QWidget* parent);
    using SubModuleDlgFactory = ISubModuleDlg* (*)(int accountId, int, QWidget* parent);

    static const char* const ModuleFileName;
    static const char* const WindowFactorySymbol;
    static const char* const DialogFactorySymbol;
    static const QList<int>& zoomSteps();

    // Installs Qt's own Chinese translations (standard buttons, file dialog) into the running
    // application; false when they are not installed on this machine.
    static bool installChineseTranslations();

    explicit VelmClient(QWidget* parent = nullptr);
    ~VelmClient() override;

    // Loads the scheduled-order module (file name without prefix and suffix) from `moduleDir`, or
    // from beside the executable when that is empty, and resolves both factories by name. On
    // failure the trader is told through gWM, `errorString` says why and the client goes on
    // without the module.
    bool loadScheduledOrderModule(const QString& moduleDir, QString* errorString = nullptr);
    bool isModuleLoaded() const { return m_windowFactory != nullptr; }
    QString moduleFilePath() const;
    // The module's modify-dialog factory (the frameless dialog's content); null until loaded.
    SubModuleDlgFactory subModuleDlgFactory() const { return m_dialogFactory; }

    // Opens the scheduled-order window of an account inside the main window, or brings the open
    // one forward; null (and a message) on failure.
    ISubModuleWid* openScheduledOrderWindow(int accountId);
    // Windows opened and not yet closed.
    QList<ISubModuleWid*> moduleWindows() const;
    // Asks the window's canClose() first; false when it refuses.
    bool closeModuleWindow(ISubModuleWid* window);

    int zoomPercent() const { return m_zoomPercent; }
    // One of zoomSteps(); other values are ignored. Passed to every open module window.
    void setZoomPercent(int percent);

    // The settings page of the four scheduled-order settings (window-modal; returns at once).
    void OpenSettingSystemPageSchedOrd();
    // The open settings page, or null.
    QDialog* settingsDialog() const;

    // Takes over a dialog that a module runs modally: centred on this window, deleted once closed.
    void addModalDlg(QWidget* dialog);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ModuleWindow {
        QPointer<ISubModuleWid> window;
        QPointer<QMdiSubWindow> subWindow;
        int accountId = 0;
    };

    void buildMenus();
    // The remembered size and place, or the default size centred, always within the screen.
    void placeOnScreen();
    void rememberGeometry() const;
    void showActiveWindowInStatusBar(QMdiSubWindow* subWindow);
    void fillAccountMenu();
    bool tryLoadModule(const QString& directory, QString* errorString);
    bool failModuleLoad(const QString& message, const QString& detail, QString* errorString);
    void embedModuleWindow(ISubModuleWid* window, int accountId);
    ModuleWindow* findModuleWindow(int accountId);
    int indexOfSubWindow(const QObject* subWindow) const;
    void forgetClosedWindows();

    QMdiArea* m_mdiArea = nullptr;
    QMenu* m_accountMenu = nullptr;
    QActionGroup* m_zoomActions = nullptr;
    QLibrary* m_module = nullptr;
    SubModuleWidFactory m_windowFactory = nullptr;
    SubModuleDlgFactory m_dialogFactory = nullptr;
    QList<ModuleWindow> m_windows;
    QPointer<QDialog> m_settingsDialog;
    int m_zoomPercent = 100;
    bool m_placed = false;
};
