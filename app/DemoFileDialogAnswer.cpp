#include "DemoFileDialogAnswer.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;
constexpr int kPolls = 10000 / kPollMs;

} // namespace

DemoFileDialogAnswer::DemoFileDialogAnswer(const QString& path, QObject* parent)
    : QObject(parent)
    , m_path(path)
    , m_timer(new QTimer(this))
    , m_pollsLeft(kPolls)
{
    connect(m_timer, &QTimer::timeout, this, &DemoFileDialogAnswer::poll);
    m_timer->start(kPollMs);
}

void DemoFileDialogAnswer::poll()
{
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog && dialog->isVisible())
        answer(dialog);
    else if (--m_pollsLeft > 0)
        return;
    m_timer->stop();
    deleteLater();
}

void DemoFileDialogAnswer::answer(QFileDialog* dialog)
{
    auto* fileName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!fileName) {
        dialog->reject();
        return;
    }
    fileName->setText(m_path);
    // QFileDialog re-declares accept() protected; the QDialog slot is the 打开 button.
    static_cast<QDialog*>(dialog)->accept();
}
