#include "MyTableView.h"

#include <QAbstractItemDelegate>
#include <QAccessible>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>

MyTableView::MyTableView(QWidget* parent)
    : QTableView(parent)
    , m_pointSize(font().pointSizeF())
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

void MyTableView::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        scaleToFont();
}

void MyTableView::scaleToFont()
{
    const qreal newPointSize = font().pointSizeF();
    // Pixel-sized fonts report -1: nothing to scale by.
    if (newPointSize <= 0 || m_pointSize <= 0 || qFuzzyCompare(newPointSize, m_pointSize)) {
        m_pointSize = newPointSize;
        return;
    }
    QHeaderView* header = horizontalHeader();
    m_columnWidths.resize(header->count());
    for (int column = 0; column < header->count(); ++column) {
        if (!isScalable(column))
            continue;
        ScaledSize& width = m_columnWidths[column];
        header->resizeSection(column, scaled(width, header->sectionSize(column), newPointSize));
        // The header may hold a section at its minimum: what it took counts as unchanged.
        width.applied = header->sectionSize(column);
    }
    QHeaderView* rows = verticalHeader();
    rows->setDefaultSectionSize(scaled(m_rowHeight, rows->defaultSectionSize(), newPointSize));
    m_rowHeight.applied = rows->defaultSectionSize();
    m_pointSize = newPointSize;
}

// A size changed since it was last scaled (set by its table or the trader) becomes the new base.
int MyTableView::scaled(ScaledSize& size, int current, qreal newPointSize) const
{
    if (current != size.applied) {
        size.base = current;
        size.basePointSize = m_pointSize;
    }
    return qRound(size.base * newPointSize / size.basePointSize);
}

bool MyTableView::isScalable(int column) const
{
    const QHeaderView* header = horizontalHeader();
    if (header->isSectionHidden(column))
        return false;
    if (header->stretchLastSection() && header->visualIndex(column) == header->count() - 1)
        return false;
    const QHeaderView::ResizeMode mode = header->sectionResizeMode(column);
    return mode == QHeaderView::Interactive || mode == QHeaderView::Fixed;
}

bool MyTableView::isCellTextElided(const QModelIndex& index) const
{
    if (!index.isValid() || index.data(Qt::DisplayRole).toString().isEmpty())
        return false;
    QStyleOptionViewItem option = viewOptions();
    option.rect = visualRect(index);
    const QAbstractItemDelegate* delegate = itemDelegate(index);
    return delegate && delegate->sizeHint(option, index).width() > option.rect.width();
}

bool MyTableView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (showElidedText(help->pos(), help->globalPos()))
            return true;
    }
    return QTableView::viewportEvent(event);
}

// A tool tip the model gives takes precedence; otherwise an elided cell shows its whole text
// and any other cell none.
bool MyTableView::showElidedText(const QPoint& viewportPos, const QPoint& globalPos)
{
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid() || !index.data(Qt::ToolTipRole).toString().isEmpty())
        return false;
    if (isCellTextElided(index))
        QToolTip::showText(globalPos, index.data(Qt::DisplayRole).toString(), viewport(), visualRect(index));
    else
        QToolTip::hideText();
    return true;
}
