#include "MyItemDelegateSO.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <cmath>

namespace Velm_Space {

namespace {

const QColor kWhite(255, 255, 255);
const QColor kOddRow(254, 249, 228);
const QColor kSeveralDirections(219, 221, 106);
const QColor kBuyTint(255, 206, 206);
const QColor kSellTint(203, 255, 185);
const QChar kBuyChar(0x4E70);      // 买
const QChar kSellChar(0x5356);     // 卖
const QChar kReverseChar(0x9006);  // 逆, as in reverse repo: the selling side

QStyle* styleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

bool isFlat(TableBtnType type)
{
    return type == ViewDetail || type == ViewList;
}

} // namespace

MyItemDelegateSO::MyItemDelegateSO(QObject* parent)
    : QStyledItemDelegate(parent)
    , m_styleButton(std::make_unique<QPushButton>())
{
    m_styleButton->setObjectName(QStringLiteral("MyItemDelegateSO_Btn"));
}

MyItemDelegateSO::~MyItemDelegateSO() = default;

void MyItemDelegateSO::setCheckColumn(int column)
{
    checkColumn = column;
}

void MyItemDelegateSO::setColorColumn(int column)
{
    colorColumn = column;
}

void MyItemDelegateSO::setColumnButtons(int column, QVector<TableBtnInfo> btns)
{
    if (btns.isEmpty())
        mapColumnBtns.remove(column);
    else
        mapColumnBtns.insert(column, std::move(btns));
}

void MyItemDelegateSO::clearColumnButtons()
{
    mapColumnBtns.clear();
}

QRect MyItemDelegateSO::buttonRect(const QRect& cell, int index, int count, int margin)
{
    const double width = cell.width();
    const int left = static_cast<int>(std::trunc(margin + (width * index) / count));
    const int right = static_cast<int>(std::trunc(-(margin + (width * (count - index - 1)) / count)));
    return cell.adjusted(left, margin, right, -margin);
}

void MyItemDelegateSO::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    QStyle* style = styleOf(opt);
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);

    const int column = index.column();
    if (column == checkColumn && (opt.features & QStyleOptionViewItem::HasCheckIndicator)) {
        paintCheckColumn(painter, opt, index);
        return;
    }
    if (opt.features & QStyleOptionViewItem::HasDecoration) {
        paintIcon(painter, opt);
        return;
    }
    const auto buttons = mapColumnBtns.constFind(column);
    if (buttons != mapColumnBtns.constEnd()) {
        paintButtons(painter, opt, *buttons);
        return;
    }
    if (column == colorColumn) {
        paintColorColumn(painter, option, index);
        return;
    }
    painter->fillRect(option.rect, index.row() % 2 == 0 ? kWhite : kOddRow);
    QStyledItemDelegate::paint(painter, option, index);
}

void MyItemDelegateSO::paintCheckColumn(QPainter* painter, QStyleOptionViewItem& opt, const QModelIndex& index) const
{
    painter->fillRect(opt.rect, kWhite);
    opt.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange | QStyle::State_HasFocus);
    switch (index.data(Qt::CheckStateRole).toInt()) {
    case Qt::Checked: opt.state |= QStyle::State_On; break;
    case Qt::PartiallyChecked: opt.state |= QStyle::State_NoChange; break;
    default: opt.state |= QStyle::State_Off; break;
    }
    QStyle* style = styleOf(opt);
    const QRect indicator = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, opt.widget)
                                .adjusted(0, 0, 2, 2);
    const QRect cell = opt.rect;
    opt.rect = QStyle::alignedRect(opt.direction, Qt::AlignCenter, indicator.size(), cell);
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Button, QPalette::Window})
        opt.palette.setBrush(QPalette::All, role, kWhite);
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &opt, painter, opt.widget);
}

void MyItemDelegateSO::paintIcon(QPainter* painter, const QStyleOptionViewItem& opt) const
{
    const QRect decoration = styleOf(opt)->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, opt.widget);
    QIcon::Mode mode = QIcon::Normal;
    if (!(opt.state & QStyle::State_Enabled))
        mode = QIcon::Disabled;
    else if (opt.state & QStyle::State_Selected)
        mode = QIcon::Selected;
    const QIcon::State state = (opt.state & QStyle::State_Open) ? QIcon::On : QIcon::Off;
    opt.icon.paint(painter, decoration, opt.displayAlignment, mode, state);
}

void MyItemDelegateSO::paintButtons(QPainter* painter, const QStyleOptionViewItem& opt,
                                    const QVector<TableBtnInfo>& btns) const
{
    painter->fillRect(opt.rect, kWhite);
    QStyle* style = styleOf(opt);
    const int count = btns.size();
    for (int i = 0; i < count; ++i) {
        const TableBtnInfo& btn = btns[i];
        QStyleOptionButton button;
        if (opt.widget)
            button.initFrom(opt.widget);
        button.rect = buttonRect(opt.rect, i, count, btnMargin);
        button.state = opt.state | QStyle::State_Enabled;
        const QWidget* widget = opt.widget;
        if (!btn.text.isEmpty()) {
            button.text = btn.text;
            if (isFlat(btn.type))
                button.features |= QStyleOptionButton::Flat;
            else
                widget = m_styleButton.get();
        } else {
            button.icon = QIcon(btn.iconPath);
            button.iconSize = btn.iconSize;
            button.features |= QStyleOptionButton::Flat;
        }
        style->drawControl(QStyle::CE_PushButton, &button, painter, widget);
    }
}

void MyItemDelegateSO::paintColorColumn(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const char direction = static_cast<char>(index.data(Qt::UserRole).toInt());
    if (direction == 0)
        painter->fillRect(option.rect, kSeveralDirections);
    else if (text.contains(kBuyChar))
        painter->fillRect(option.rect, kBuyTint);
    else if (text.contains(kSellChar) || text.contains(kReverseChar))
        painter->fillRect(option.rect, kSellTint);
    QStyledItemDelegate::paint(painter, option, index);
}

bool MyItemDelegateSO::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                   const QModelIndex& index)
{
    if (index.column() != checkColumn) {
        emitClickedButton(event, option, index);
        return false;
    }
    return toggleCheckState(event, model, option, index);
}

void MyItemDelegateSO::emitClickedButton(QEvent* event, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const auto buttons = mapColumnBtns.constFind(index.column());
    if (buttons == mapColumnBtns.constEnd() || event->type() != QEvent::MouseButtonRelease)
        return;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return;
    const int count = buttons->size();
    for (int i = 0; i < count; ++i) {
        if (buttonRect(option.rect, i, count, btnMargin).contains(mouse->pos())) {
            emit signalBtnClicked(index, buttons->at(i).type);
            return;
        }
    }
}

bool MyItemDelegateSO::toggleCheckState(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                        const QModelIndex& index)
{
    const Qt::ItemFlags flags = model->flags(index);
    if (!(flags & Qt::ItemIsUserCheckable) || !(flags & Qt::ItemIsEnabled) || !(option.state & QStyle::State_Enabled))
        return false;
    const QVariant value = index.data(Qt::CheckStateRole);
    if (!value.isValid())
        return false;

    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->pos()))
            return false;
        // Press and double-click are taken without a change: only the release toggles.
        if (event->type() != QEvent::MouseButtonRelease)
            return true;
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select)
            return false;
        break;
    }
    default:
        return false;
    }

    const int state = value.toInt();
    const int next = (flags & Qt::ItemIsUserTristate) ? (state + 1) % 3
                                                        : (state == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    const bool written = model->setData(index, next, Qt::CheckStateRole);
    emit signalItemDelegateMouseReleaseCheckStateChanged();
    return written;
}

} // namespace Velm_Space
