#include "MyTableViewSO.h"

#include "MyItemDelegateSO.h"

#include <QMouseEvent>

namespace Velm_Space {

MyTableViewSO::MyTableViewSO(QWidget* parent)
    : MyTableView(parent)
{
}

void MyTableViewSO::setColumnButtons(int column, QVector<TableBtnInfo> btns)
{
    if (btns.isEmpty())
        mapColumnBtns.remove(column);
    else
        mapColumnBtns.insert(column, std::move(btns));
}

void MyTableViewSO::clearColumnButtons()
{
    mapColumnBtns.clear();
}

QRect MyTableViewSO::buttonRect(const QModelIndex& index, int buttonIndex) const
{
    if (!index.isValid())
        return QRect();
    const int count = mapColumnBtns.value(index.column()).size();
    if (buttonIndex < 0 || buttonIndex >= count)
        return QRect();
    const QRect cell(columnViewportPosition(index.column()), rowViewportPosition(index.row()),
                     columnWidth(index.column()), rowHeight(index.row()));
    return MyItemDelegateSO::buttonRect(cell, buttonIndex, count, btnMargin);
}

bool MyTableViewSO::isOverButton(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        return false;
    const int count = mapColumnBtns.value(index.column()).size();
    for (int i = 0; i < count; ++i) {
        if (buttonRect(index, i).contains(position))
            return true;
    }
    return false;
}

void MyTableViewSO::mouseMoveEvent(QMouseEvent* event)
{
    viewport()->setCursor(isOverButton(event->pos()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void MyTableViewSO::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
}

} // namespace Velm_Space
