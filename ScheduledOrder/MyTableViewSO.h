#pragma once

#include "MyTableView.h"
#include "TableBtnInfo.h"

#include <QMap>
#include <QVector>

namespace Velm_Space {

// The monitor tables' view: knows the in-cell buttons so that the cursor shows a hand over them.
class MyTableViewSO final : public MyTableView
{
    Q_OBJECT
public:
    explicit MyTableViewSO(QWidget* parent);

    void setColumnButtons(int column, QVector<TableBtnInfo> btns);
    void clearColumnButtons();
    // The rectangle of button `buttonIndex` in a cell, in viewport coordinates; empty for an invalid index.
    QRect buttonRect(const QModelIndex& index, int buttonIndex) const;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool isOverButton(const QPoint& position) const;

    int btnMargin = 1;
    QMap<int, QVector<TableBtnInfo>> mapColumnBtns;
};

} // namespace Velm_Space
