#pragma once

#include "TableBtnInfo.h"

#include <QMap>
#include <QStyledItemDelegate>
#include <QVector>

#include <memory>

class QPushButton;

namespace Velm_Space {

// Paints the monitor tables' cells: the check column, the direction column tinted by side,
// in-cell buttons and alternating row colours; turns button clicks and check toggles into signals.
class MyItemDelegateSO final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit MyItemDelegateSO(QObject* parent);
    ~MyItemDelegateSO() override;

    void setCheckColumn(int column);
    void setColorColumn(int column);
    // Replaces the column's buttons; an empty list removes them.
    void setColumnButtons(int column, QVector<TableBtnInfo> btns);
    void clearColumnButtons();

    int checkColumnIndex() const { return checkColumn; }
    int colorColumnIndex() const { return colorColumn; }
    QVector<TableBtnInfo> columnButtons(int column) const { return mapColumnBtns.value(column); }

    // Button `index` of `count` in a cell, inset by `margin`.
    static QRect buttonRect(const QRect& cell, int index, int count, int margin);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

signals:
    void signalItemDelegateMouseReleaseCheckStateChanged();
    void signalBtnClicked(QModelIndex index, Velm_Space::TableBtnType btntype);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    void paintCheckColumn(QPainter* painter, QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintIcon(QPainter* painter, const QStyleOptionViewItem& option) const;
    void paintButtons(QPainter* painter, const QStyleOptionViewItem& option, const QVector<TableBtnInfo>& btns) const;
    void paintColorColumn(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    bool toggleCheckState(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                          const QModelIndex& index);
    void emitClickedButton(QEvent* event, const QStyleOptionViewItem& option, const QModelIndex& index);

    int checkColumn = -1;
    int btnMargin = 1;
    int colorColumn = -1;
    QMap<int, QVector<TableBtnInfo>> mapColumnBtns;
    std::unique_ptr<QPushButton> m_styleButton;
};

} // namespace Velm_Space
