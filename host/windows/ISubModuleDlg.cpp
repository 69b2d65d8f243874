#include "ISubModuleDlg.h"

ISubModuleDlg::ISubModuleDlg(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
}

ISubModuleDlg::~ISubModuleDlg() = default;

void ISubModuleDlg::setOpenerWidget(QWidget* opener)
{
    Q_UNUSED(opener)
}

bool ISubModuleDlg::isModalContent()
{
    return false;
}
