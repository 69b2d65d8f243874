#pragma once

#include "VelmBaseExport.h"

#include <QWidget>

// A window that a module hands to the host for embedding.
class VELM_BASE_EXPORT ISubModuleWid : public QWidget
{
    Q_OBJECT
public:
    explicit ISubModuleWid(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ISubModuleWid() override;

    // Called by the host once the window is embedded.
    virtual void initWid() = 0;
    virtual void refreshWid() = 0;
    // Several windows of this kind may be open at once.
    virtual bool allowMultipleInstances();
    // The window keeps a fixed size.
    virtual bool isFixedSize();
    // Asked before the host closes the window; false keeps it open.
    virtual bool canClose();
    // The window wants to float outside the main window.
    virtual bool preferFloating();
    // The host's zoom changed (percent, 100 = no zoom).
    virtual void setScalePercent(int percent);

    int scalePercent;
};
