#pragma once

#include "VelmBaseExport.h"

#include <QWidget>

// The content of a host dialog that a module provides; the host's frameless dialog closes its
// modal run on either signal.
class VELM_BASE_EXPORT ISubModuleDlg : public QWidget
{
    Q_OBJECT
public:
    explicit ISubModuleDlg(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ISubModuleDlg() override;

    // Tells the content which widget opened it.
    virtual void setOpenerWidget(QWidget* opener);
    // True when the content wants the host to run its dialog modally.
    virtual bool isModalContent();

signals:
    void signal_pushbutton_ok();
    void signal_pushbutton_cancel();
};
