#pragma once

#include <QMetaType>
#include <QSize>
#include <QString>

namespace Velm_Space {

// What an in-cell button of a monitor table does.
enum TableBtnType : int {
    Modify = 1,
    Delete = 2,
    AddComponent = 3,
    ViewDetail = 4,
    ViewList = 5,
};

// One in-cell button; without text it shows the icon instead.
struct TableBtnInfo
{
    TableBtnType type = Modify;
    QString text;
    QString iconPath;
    QSize iconSize;
};

} // namespace Velm_Space

Q_DECLARE_METATYPE(Velm_Space::TableBtnType)
