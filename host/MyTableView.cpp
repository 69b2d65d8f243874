#include "MyTableView.h"

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
