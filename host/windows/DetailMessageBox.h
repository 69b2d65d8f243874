#pragma once

#include <QDialog>

class QPlainTextEdit;

// An information box whose detail text stays readable: the details are shown at once in an area
// of several lines, and the box can be resized to read long lists.
class DetailMessageBox final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int VisibleDetailLines = 10;

    DetailMessageBox(const QString& title, const QString& text, const QString& detail, QWidget* parent);
    ~DetailMessageBox() override;

    QPlainTextEdit* detailEdit() const { return m_detail; }

private:
    QPlainTextEdit* m_detail = nullptr;
};
