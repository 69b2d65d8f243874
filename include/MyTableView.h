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
};
