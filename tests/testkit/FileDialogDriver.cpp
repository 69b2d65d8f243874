#include "FileDialogDriver.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <utility>

namespace VelmTest {

namespace {

constexpr int kPollMs = 5;
// Gives up after ten seconds: a dialog that never opens is the test's finding, not a hang.
constexpr int kPolls = 10000 / kPollMs;

} // namespace

FileDialogDriver::FileDialogDriver(const QString& path, QObject* parent)
    : QObject(parent)
    , m_path(path)
    , m_timer(new QTimer(this))
    , m_pollsLeft(kPolls)
{
    m_timer->setInterval(kPollMs);
    connect(m_timer, &QTimer::timeout, this, &FileDialogDriver::poll);
    m_timer->start();
}

void FileDialogDriver::setOnAnswered(std::function<void()> onAnswered)
{
    m_onAnswered = std::move(onAnswered);
}

void FileDialogDriver::poll()
{
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog && dialog->isVisible()) {
        m_timer->stop();
        answer(dialog);
    } else if (--m_pollsLeft <= 0) {
        m_timer->stop();
    }
}

void FileDialogDriver::answer(QFileDialog* dialog)
{
    m_seen = true;
    m_caption = dialog->windowTitle();
    m_directory = dialog->directory().absolutePath();
    m_nameFilters = dialog->nameFilters();
    m_parent = dialog->parentWidget();
    auto* fileName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (m_path.isEmpty() || !fileName) {
        dialog->reject();
    } else {
        fileName->setText(m_path);
        // QFileDialog re-declares accept() protected; the QDialog slot is the trader's 打开.
        static_cast<QDialog*>(dialog)->accept();
    }
    if (m_onAnswered)
        m_onAnswered();
}

} // namespace VelmTest
