#pragma once

#include "VelmBaseExport.h"

#include <QTableView>

// The host's table view: fixed row heights, no word wrap and no sizing of columns over all rows,
// so that tables of 100,000 rows stay cheap to show.
class VELM_BASE_EXPORT MyTableView : public QTableView
{
    Q_OBJECT
public:
    explicit MyTableView(QWidget* parent = nullptr);
    ~MyTableView() override;

protected slots:
    // Repaints only the on-screen strip of the changed rows: Qt repaints the whole viewport for
    // any change wider than one cell, which makes every changed row of a big table cost a full frame.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QVector<int>& roles = QVector<int>()) override;
};
