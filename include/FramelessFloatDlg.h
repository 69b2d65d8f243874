#pragma once

#include "SubwinType.h"
#include "VelmBaseExport.h"

#include <QDialog>
#include <QPointer>

class ISubModuleDlg;

// A frameless host dialog around content that a module provides. The content comes from the
// factory registered for the dialog's sub-window type (the client registers the module's
// exported dialog factory, resolved by name); the dialog accepts on the content's ok signal and
// rejects on its cancel signal, which ends a modal run. The dialog takes its content's title and
// shows the content at the main window's zoom.
class VELM_BASE_EXPORT FramelessFloatDlg : public QDialog
{
    Q_OBJECT
public:
    using ContentFactory = ISubModuleDlg* (*)(int accountId, int, QWidget* parent);

    // A null factory removes the registration.
    static void setContentFactory(Subwin_Type type, ContentFactory factory);
    static ContentFactory contentFactory(Subwin_Type type);

    FramelessFloatDlg(int accountId, Subwin_Type type, Qt::WindowFlags flags, QWidget* parent);
    ~FramelessFloatDlg() override;

    int accountId() const { return m_accountId; }
    Subwin_Type subwinType() const { return m_type; }
    // Null when no factory is registered for the type or the factory made nothing for the account.
    ISubModuleDlg* content() const;

    // Zoom of the content in percent (100 = as designed).
    int scalePercent() const { return m_scalePercent; }
    void setScalePercent(int percent);

private:
    void embedContent(ISubModuleDlg* content);

    const int m_accountId;
    const Subwin_Type m_type;
    QPointer<ISubModuleDlg> m_content;
    int m_scalePercent = 100;
};
