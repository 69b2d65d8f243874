#include "VelmTest.h"

#include "WindowManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include <sqlite3.h>
#include <unistd.h>

namespace {

QtMessageHandler previousHandler = nullptr;

bool isBrokenConnection(const QString& message)
{
    return message.contains(QLatin1String("Cannot queue arguments"))
        || message.contains(QLatin1String("qRegisterMetaType"))
        || message.startsWith(QLatin1String("QObject::connect"))
        || message.contains(QLatin1String("No such signal"))
        || message.contains(QLatin1String("No such slot"))
        || message.contains(QLatin1String("connectSlotsByName: No matching signal"));
}

void strictHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && isBrokenConnection(message)) {
        std::fprintf(stderr, "FATAL (broken connection): %s\n", qPrintable(message));
        std::fflush(stderr);
        std::abort();
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

namespace VelmTest {

void installStrictMessageHandler()
{
    QtMessageHandler previous = qInstallMessageHandler(strictHandler);
    if (previous != strictHandler)
        previousHandler = previous;
}

QStringList popups(const QWidget* parent)
{
    QStringList lines;
    for (const PopupRecord& popup : gWM->popups()) {
        QString line = popup.kind == PopupRecord::Confirm ? QStringLiteral("confirm %1: ").arg(popup.title)
                     : popup.kind == PopupRecord::Tooltip ? QStringLiteral("tooltip: ")
                                                          : QString();
        line += popup.text;
        if (!popup.detail.isEmpty())
            line += QStringLiteral(" | ") + popup.detail;
        if (popup.parent.data() != parent)
            line += QStringLiteral(" (parent: %1)").arg(popup.parent ? popup.parent->metaObject()->className() : "none");
        lines.append(line);
    }
    return lines;
}

QString tempDir()
{
    QString base = qEnvironmentVariable("VELM_TEST_TMP");
    if (base.isEmpty())
        base = QDir::tempPath() + QStringLiteral("/velm_tests");
    const QString dir = base + QLatin1Char('/') + QCoreApplication::applicationName();
    QDir().mkpath(dir);
    return dir;
}

QString writeTempFile(const QString& name, const QByteArray& bytes)
{
    const QString path = tempDir() + QLatin1Char('/') + name;
    return writeFile(path, bytes) ? path : QString();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool runSql(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    const bool done = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK
                      && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
}

void setUpWindowManager()
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("VELM_LOG_DIR", tempDir().toUtf8());
    if (!gWM)
        gWM = new WindowManager(qApp);
    gWM->setInteractive(false);
    gWM->clearPopups();
    gWM->autoStartSingleTask = true;
    gWM->autoStartImportedTask = false;
    gWM->allowPastSetTime = false;
    gWM->creditShortSellOption = false;
}

bool waitUntilOnlyThread(int timeoutMs)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    QElapsedTimer elapsed;
    elapsed.start();
    while (tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() > 1) {
        if (elapsed.hasExpired(timeoutMs))
            return false;
        QThread::msleep(1);
    }
    return true;
}

QStringList otherThreadNames()
{
    const QString self = QString::number(gettid());
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (task == self)
            continue;
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
        names.append(task + QLatin1Char(' ') + name);
    }
    return names;
}

} // namespace VelmTest
