#pragma once

#include "VelmBaseExport.h"

#include <QHeaderView>

// A header whose section 0 shows the model's header check state (Qt::CheckStateRole, tri-state)
// as a check box. Releasing the left button on that section flips it: the header stores the new
// state in the model (setHeaderData) and emits it.
class VELM_BASE_EXPORT MyHeaderViewWithCheckbox : public QHeaderView
{
    Q_OBJECT
public:
    explicit MyHeaderViewWithCheckbox(Qt::Orientation orientation, QWidget* parent = nullptr);
    ~MyHeaderViewWithCheckbox() override;

    // The check box's rectangle within section 0.
    QRect checkBoxRect(const QRect& sectionRect) const;

signals:
    void signalHeaderMouseReleaseCheckStateChanged(bool isChecked);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The second click of a double click toggles again, as on a check box.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The model's header check state of section 0; invalid when the model keeps none.
    QVariant headerCheckState() const;
    bool startsCheckBoxClick(const QMouseEvent* event) const;
    void toggleCheckState();

    bool m_pressedOnCheckSection = false;
};
