#pragma once

#include <QString>
#include <Qt>

// One column of a host table: its fixed id, title, width in pixels and alignment.
struct ColProperty
{
    int id = 0;
    QString title;
    int width = 0;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool shown = true;   // shown by default
};
