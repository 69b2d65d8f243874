#pragma once

#include <QList>
#include <Qt>

class MyHeaderViewWithCheckbox;
class MySFProxyModel;
class QAbstractItemModel;
class QString;
class TableHeader;
struct ColProperty;

namespace Velm_Space {

class MyItemDelegateSO;
class MyTableModelSO;
class MyTableViewSO;

// What the main-task and the sub-task table share: how their view and headers are set up, how a
// column set is applied to model, proxy, view and delegate, and the select-all check box.
class SchedOrdMonitorTable final
{
public:
    // Height of the header and of every row, and width of the check column.
    static constexpr int RowHeight = 23;

    // Header styling and the vertical header's fixed rows.
    static void configureHeaders(MyTableViewSO* view, MyHeaderViewWithCheckbox* header, const QString& headerName,
                                 const QString& verticalHeaderName);
    // Focus, selection, editing, mouse tracking and sorting of the view.
    static void configureBehaviour(MyTableViewSO* view);
    // Titles and alignments of the check column, the listed columns and the hidden key column,
    // and a fresh start for proxy, view and delegate (no buttons, check column 0).
    static void applyColumnSet(TableHeader* definitions, QList<ColProperty*>& columns, MyTableModelSO* model,
                               MySFProxyModel* proxy, MyTableViewSO* view, MyItemDelegateSO* delegate);
    // Column widths, the hidden key column, and the initial order by it.
    static void layOutColumns(MyTableViewSO* view, MyHeaderViewWithCheckbox* header,
                              const QList<ColProperty*>& columns, int columnCount);

    static void setVisibleRowsChecked(QAbstractItemModel* proxy, bool checked);
    // Unchecked for no checked row (or no row), checked for all, partially checked otherwise.
    static Qt::CheckState visibleRowsCheckState(const QAbstractItemModel* proxy);
};

} // namespace Velm_Space
