#include "CrashExchange.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <utility>

namespace {

constexpr int kListenTimeoutMs = 15000;
constexpr int kPollMs = 20;
const QByteArray kListening("listening on ");
const char kSoh = '\x01';

// The value of `tag` in a message whose fields end with SOH; empty when it has none.
QByteArray fieldOf(const QByteArray& message, const QByteArray& tag)
{
    const QByteArray start = kSoh + tag + '=';
    const int at = message.indexOf(start);
    if (at < 0)
        return QByteArray();
    const int from = at + start.size();
    const int end = message.indexOf(kSoh, from);
    return end < 0 ? QByteArray() : message.mid(from, end - from);
}

} // namespace

CrashExchange::CrashExchange(QString program, QByteArray clientCompId)
    : m_program(std::move(program))
    , m_clientCompId(std::move(clientCompId))
{
}

bool CrashExchange::start(const QString& folder, const QString& errorLogPath, QString* whyNot)
{
    m_folder = folder;
    // Funds without end: a long run's buys rest and fill instead of all being refused for money.
    const QStringList arguments{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data-dir"), folder,
                                QStringLiteral("--target"), QString::fromLatin1(m_clientCompId),
                                QStringLiteral("--funds"), QStringLiteral("1e12")};
    if (!m_process.start(m_program, arguments, errorLogPath)) {
        *whyNot = QStringLiteral("cannot start %1").arg(m_program);
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    bool ended = false;
    while (!ended && clock.elapsed() < kListenTimeoutMs) {
        for (const QByteArray& line : m_process.readLines(kPollMs, ended)) {
            const int colon = line.lastIndexOf(':');
            if (line.startsWith(kListening) && colon > 0)
                m_port = line.mid(colon + 1).toInt();
        }
        if (m_port > 0 && openLog())
            return true;
    }
    *whyNot = QStringLiteral("%1 did not come up within %2 ms (%3; see %4)")
                  .arg(m_program).arg(kListenTimeoutMs).arg(m_port > 0 ? QStringLiteral("no FIX message log") : QStringLiteral("no port"), errorLogPath);
    stop();
    return false;
}

bool CrashExchange::openLog()
{
    if (m_log.isOpen())
        return true;
    const QDir logs(m_folder + QStringLiteral("/fix/log"));
    const QStringList names = logs.entryList({QStringLiteral("*.messages.current.log")}, QDir::Files);
    if (names.size() != 1)
        return false;
    m_log.setFileName(logs.filePath(names.front()));
    m_logOffset = 0;
    m_partial.clear();
    return m_log.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

QByteArrayList CrashExchange::newOrders()
{
    QByteArrayList orders;
    if (!m_log.isOpen() || !m_log.seek(m_logOffset))
        return orders;
    const QByteArray bytes = m_log.readAll();
    m_logOffset += bytes.size();
    m_partial.append(bytes);
    int start = 0;
    for (int end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n', start)) {
        const QByteArray ref = newOrderRef(m_partial.mid(start, end - start), m_clientCompId);
        if (!ref.isEmpty())
            orders.append(ref);
        start = end + 1;
    }
    m_partial.remove(0, start);
    return orders;
}

QByteArrayList CrashExchange::settle(int quietMs, int capMs)
{
    QByteArrayList orders;
    QElapsedTimer clock;
    clock.start();
    qint64 lastNews = 0;
    while (clock.elapsed() - lastNews < quietMs && clock.elapsed() < capMs) {
        const qint64 before = m_logOffset;
        orders.append(newOrders());
        if (m_logOffset != before)
            lastNews = clock.elapsed();
        QThread::msleep(kPollMs);
    }
    return orders;
}

void CrashExchange::stop()
{
    m_process.kill();
    m_process.wait();
    m_log.close();
    m_port = 0;
}

QByteArray CrashExchange::newOrderRef(const QByteArray& logLine, const QByteArray& clientCompId)
{
    // "<time> : 8=FIX.4.4<SOH>9=...<SOH>35=D<SOH>49=...": the message follows the first " : ".
    const int separator = logLine.indexOf(" : ");
    if (separator < 0)
        return QByteArray();
    const QByteArray message = kSoh + logLine.mid(separator + 3);
    if (fieldOf(message, "35") != "D" || fieldOf(message, "49") != clientCompId)
        return QByteArray();
    return fieldOf(message, "11");
}
