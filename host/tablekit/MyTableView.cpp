#include "MyTableView.h"

#include <QAccessible>
#include <QHeaderView>

MyTableView::MyTableView(QWidget* parent)
    : QTableView(parent)
{
    // Wrapping and content-sized columns would measure every row's text.
    setWordWrap(false);
    horizontalHeader()->setResizeContentsPrecision(0);
    verticalHeader()->setResizeContentsPrecision(0);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Tables choose their own row height; the style's minimum would otherwise raise it.
    verticalHeader()->setMinimumSectionSize(1);
}

MyTableView::~MyTableView() = default;

void MyTableView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>& roles)
{
    // Editors must be refreshed and assistive tools told: only the stock handling does both.
    const bool needsStockHandling = topLeft == bottomRight || editTriggers() != QAbstractItemView::NoEditTriggers
        || state() == QAbstractItemView::EditingState || QAccessible::isActive();
    if (needsStockHandling || !topLeft.isValid() || !bottomRight.isValid()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    if (!isVisible())
        return;
    const int top = rowViewportPosition(topLeft.row());
    const int bottom = rowViewportPosition(bottomRight.row()) + rowHeight(bottomRight.row());
    const QRect strip = QRect(0, top, viewport()->width(), bottom - top).intersected(viewport()->rect());
    if (!strip.isEmpty())
        viewport()->update(strip);
}
