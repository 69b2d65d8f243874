#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QFileDialog;
class QTimer;

namespace VelmTest {

// Answers the next modal file dialog, as a trader would: QFileDialog::getOpenFileName opens a
// non-native QFileDialog under the offscreen platform and blocks in its own event loop, so the
// driver polls from a timer until that dialog is the active modal widget, notes how it was asked,
// types `path` into its file-name box and accepts it. An empty path cancels the dialog instead.
// Only Qt Widgets is used, so a headless client can drive its dialogs the same way.
class FileDialogDriver final : public QObject
{
    Q_OBJECT
public:
    explicit FileDialogDriver(const QString& path, QObject* parent = nullptr);

    // Runs right after the dialog was answered, before the code that opened it sees the answer.
    void setOnAnswered(std::function<void()> onAnswered);

    bool dialogSeen() const { return m_seen; }
    QString caption() const { return m_caption; }
    QString directory() const { return m_directory; }
    QStringList nameFilters() const { return m_nameFilters; }
    QWidget* dialogParent() const { return m_parent; }

private:
    void poll();
    void answer(QFileDialog* dialog);

    QString m_path;
    QTimer* m_timer;
    int m_pollsLeft;
    std::function<void()> m_onAnswered;
    bool m_seen = false;
    QString m_caption;
    QString m_directory;
    QStringList m_nameFilters;
    QPointer<QWidget> m_parent;
};

} // namespace VelmTest
