#include "MyHeaderViewWithCheckbox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

constexpr int kCheckSection = 0;

QStyle::StateFlag indicatorState(Qt::CheckState state)
{
    switch (state) {
    case Qt::Checked: return QStyle::State_On;
    case Qt::PartiallyChecked: return QStyle::State_NoChange;
    case Qt::Unchecked: break;
    }
    return QStyle::State_Off;
}

} // namespace

MyHeaderViewWithCheckbox::MyHeaderViewWithCheckbox(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent)
{
}

MyHeaderViewWithCheckbox::~MyHeaderViewWithCheckbox() = default;

QRect MyHeaderViewWithCheckbox::checkBoxRect(const QRect& sectionRect) const
{
    QStyleOptionButton option;
    option.initFrom(this);
    const QSize size = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this).size();
    return QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, size, sectionRect);
}

void MyHeaderViewWithCheckbox::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex != kCheckSection)
        return;
    const QVariant state = headerCheckState();
    if (!state.isValid())
        return;
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = checkBoxRect(rect);
    option.state |= indicatorState(static_cast<Qt::CheckState>(state.toInt()));
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter, this);
}

void MyHeaderViewWithCheckbox::mousePressEvent(QMouseEvent* event)
{
    // Section 0 is the check box: it neither sorts nor starts a drag.
    if (startsCheckBoxClick(event)) {
        m_pressedOnCheckSection = true;
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void MyHeaderViewWithCheckbox::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressedOnCheckSection) {
        QHeaderView::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    m_pressedOnCheckSection = false;
    if (logicalIndexAt(event->pos()) == kCheckSection)
        toggleCheckState();
}

void MyHeaderViewWithCheckbox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (startsCheckBoxClick(event)) {
        m_pressedOnCheckSection = true;
        event->accept();
        return;
    }
    QHeaderView::mouseDoubleClickEvent(event);
}

QVariant MyHeaderViewWithCheckbox::headerCheckState() const
{
    return model() ? model()->headerData(kCheckSection, orientation(), Qt::CheckStateRole) : QVariant();
}

bool MyHeaderViewWithCheckbox::startsCheckBoxClick(const QMouseEvent* event) const
{
    return event->button() == Qt::LeftButton && logicalIndexAt(event->pos()) == kCheckSection
        && headerCheckState().isValid();
}

void MyHeaderViewWithCheckbox::toggleCheckState()
{
    if (!model())
        return;
    const bool isChecked = headerCheckState().toInt() != Qt::Checked;
    model()->setHeaderData(kCheckSection, orientation(), isChecked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    updateSection(kCheckSection);
    emit signalHeaderMouseReleaseCheckStateChanged(isChecked);
}
