#include "SchedOrdMonitorTable.h"

#include "MyHeaderViewWithCheckbox.h"
#include "MyItemDelegateSO.h"
#include "MySFProxyModel.h"
#include "MyTableModelSO.h"
#include "MyTableViewSO.h"
#include "TableHeader.h"

namespace Velm_Space {

namespace {

constexpr int kCentred = Qt::AlignHCenter | Qt::AlignVCenter;
constexpr int kVerticalHeaderMinimumWidth = 20;

} // namespace

void SchedOrdMonitorTable::configureHeaders(MyTableViewSO* view, MyHeaderViewWithCheckbox* header,
                                            const QString& headerName, const QString& verticalHeaderName)
{
    header->setObjectName(headerName);
    header->setFixedHeight(RowHeight);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    view->setHorizontalHeader(header);

    QHeaderView* vertical = view->verticalHeader();
    vertical->setObjectName(verticalHeaderName);
    vertical->setSectionResizeMode(QHeaderView::Fixed);
    vertical->setDefaultSectionSize(RowHeight);
    vertical->setMinimumWidth(kVerticalHeaderMinimumWidth);
}

void SchedOrdMonitorTable::configureBehaviour(MyTableViewSO* view)
{
    view->setFocusPolicy(Qt::NoFocus);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAttribute(Qt::WA_MouseTracking);
    // Moves without a button reach the view only through its viewport's tracking.
    view->viewport()->setMouseTracking(true);
    view->setSortingEnabled(true);
}

void SchedOrdMonitorTable::applyColumnSet(TableHeader* definitions, QList<ColProperty*>& columns,
                                          MyTableModelSO* model, MySFProxyModel* proxy, MyTableViewSO* view,
                                          MyItemDelegateSO* delegate)
{
    QStringList titles{QString()};
    QList<int> alignments{kCentred};
    for (const ColProperty* column : qAsConst(columns)) {
        titles.append(column->title);
        alignments.append(static_cast<int>(column->alignment));
    }
    titles.append(QStringLiteral("hiddenColumnm"));
    alignments.append(kCentred);

    model->setHorizontalHeaderList(titles);
    model->setHeader(definitions, columns);
    model->setAlignment(alignments);
    proxy->setListColProperty(columns);
    proxy->setSourceModel(model);
    proxy->setSortRole(Qt::UserRole);
    proxy->resetModel();
    view->setModel(proxy);
    view->setItemDelegate(delegate);
    view->clearColumnButtons();

    delegate->setCheckColumn(0);
    delegate->clearColumnButtons();
}

void SchedOrdMonitorTable::layOutColumns(MyTableViewSO* view, MyHeaderViewWithCheckbox* header,
                                         const QList<ColProperty*>& columns, int columnCount)
{
    header->setMinimumSectionSize(RowHeight);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    view->setColumnWidth(0, RowHeight);
    for (int i = 0; i < columnCount; ++i) {
        view->showColumn(i);
        if (i >= 1 && i <= columns.size())
            view->setColumnWidth(i, columns[i - 1]->width);
    }
    view->hideColumn(columnCount - 1);
    view->sortByColumn(columnCount - 1, Qt::AscendingOrder);
}

void SchedOrdMonitorTable::setVisibleRowsChecked(QAbstractItemModel* proxy, bool checked)
{
    const int state = checked ? Qt::Checked : Qt::Unchecked;
    const int rows = proxy->rowCount();
    for (int row = 0; row < rows; ++row)
        proxy->setData(proxy->index(row, 0), state, Qt::CheckStateRole);
}

Qt::CheckState SchedOrdMonitorTable::visibleRowsCheckState(const QAbstractItemModel* proxy)
{
    int checked = 0;
    int unchecked = 0;
    const int rows = proxy->rowCount();
    for (int row = 0; row < rows && (checked == 0 || unchecked == 0); ++row) {
        if (proxy->index(row, 0).data(Qt::CheckStateRole).toBool())
            ++checked;
        else
            ++unchecked;
    }
    if (checked > 0 && unchecked > 0)
        return Qt::PartiallyChecked;
    return checked > 0 ? Qt::Checked : Qt::Unchecked;
}

} // namespace Velm_Space
