#include "ISubModuleWid.h"

ISubModuleWid::ISubModuleWid(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , scalePercent(100)
{
}

ISubModuleWid::~ISubModuleWid() = default;

bool ISubModuleWid::allowMultipleInstances()
{
    return false;
}

bool ISubModuleWid::isFixedSize()
{
    return false;
}

bool ISubModuleWid::canClose()
{
    return true;
}

bool ISubModuleWid::preferFloating()
{
    return false;
}

void ISubModuleWid::setScalePercent(int percent)
{
    Q_UNUSED(percent)
}
