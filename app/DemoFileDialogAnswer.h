#pragma once

#include <QObject>
#include <QString>

class QFileDialog;
class QTimer;

// Answers the next modal file dialog with one path, as the trader in the demo would: the import's
// QFileDialog::getOpenFileName blocks in its own event loop, so a timer watches for the dialog,
// types the path into its file-name box and accepts it. Gives up after ten seconds.
class DemoFileDialogAnswer final : public QObject
{
    Q_OBJECT
public:
    DemoFileDialogAnswer(const QString& path, QObject* parent);

private:
    void poll();
    void answer(QFileDialog* dialog);

    QString m_path;
    QTimer* m_timer;
    int m_pollsLeft;
};
