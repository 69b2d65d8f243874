#pragma once

#include "VelmBaseExport.h"

#include <QTableView>
#include <QVector>

// The host's table view: fixed row heights, no word wrap and no sizing of columns over all rows,
// so that tables of 100,000 rows stay cheap to show. A new font size scales the column widths
// and the row height with it; a cell whose text is cut off shows the whole text as its tool tip.
class VELM_BASE_EXPORT MyTableView : public QTableView
{
    Q_OBJECT
public:
    explicit MyTableView(QWidget* parent = nullptr);
    ~MyTableView() override;

    // True when the cell's display text does not fit its width and is painted elided.
    bool isCellTextElided(const QModelIndex& index) const;

protected slots:
    // Repaints only the on-screen strip of the changed rows: Qt repaints the whole viewport for
    // any change wider than one cell, which makes every changed row of a big table cost a full frame.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QVector<int>& roles = QVector<int>()) override;

protected:
    void changeEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // A size laid out for one font size. Sizes are always computed from the base, so that
    // zooming in and back out restores them exactly.
    struct ScaledSize {
        int base = 0;
        qreal basePointSize = 0.0;
        int applied = -1;       // what the view took when last scaled
    };

    void scaleToFont();
    int scaled(ScaledSize& size, int current, qreal newPointSize) const;
    bool isScalable(int column) const;
    bool showElidedText(const QPoint& viewportPos, const QPoint& globalPos);

    qreal m_pointSize = 0.0;
    QVector<ScaledSize> m_columnWidths;
    ScaledSize m_rowHeight;
};
