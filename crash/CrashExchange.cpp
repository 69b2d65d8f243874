#include "CrashExchange.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <utility>

namespace {

constexpr int kListenTimeoutMs = 15000;
constexpr int kPollMs = 20;
const QByteArray kListening("listening on ");
const QString kOrdersFileName = QStringLiteral("orders-taken.txt");

} // namespace

CrashExchange::CrashExchange(QString program, QByteArray clientCompId)
    : m_program(std::move(program))
    , m_clientCompId(std::move(clientCompId))
{
}

bool CrashExchange::start(const QString& folder, const QString& errorLogPath, QString* whyNot)
{
    m_folder = folder;
    if (!QDir().mkpath(folder)) {
        *whyNot = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    // Funds without end: a long run's buys rest and fill instead of all being refused for money.
    const QStringList arguments{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data-dir"), folder,
                                QStringLiteral("--target"), QString::fromLatin1(m_clientCompId),
                                QStringLiteral("--funds"), QStringLiteral("1e12"),
                                QStringLiteral("--orders-file"), QDir(folder).filePath(kOrdersFileName)};
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
        if (m_port > 0 && openOrders())
            return true;
    }
    *whyNot = QStringLiteral("%1 did not come up within %2 ms (%3; see %4)")
                  .arg(m_program).arg(kListenTimeoutMs).arg(m_port > 0 ? QStringLiteral("no orders file") : QStringLiteral("no port"), errorLogPath);
    stop();
    return false;
}

bool CrashExchange::openOrders()
{
    if (m_orders.isOpen())
        return true;
    m_orders.setFileName(QDir(m_folder).filePath(kOrdersFileName));
    m_ordersOffset = 0;
    m_partial.clear();
    return m_orders.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

QByteArrayList CrashExchange::newOrders()
{
    QByteArrayList orders;
    if (!m_orders.isOpen() || !m_orders.seek(m_ordersOffset))
        return orders;
    const QByteArray bytes = m_orders.readAll();
    m_ordersOffset += bytes.size();
    m_partial.append(bytes);
    int start = 0;
    for (int end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n', start)) {
        orders.append(m_partial.mid(start, end - start));
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
        const qint64 before = m_ordersOffset;
        orders.append(newOrders());
        if (m_ordersOffset != before)
            lastNews = clock.elapsed();
        QThread::msleep(kPollMs);
    }
    return orders;
}

void CrashExchange::stop()
{
    m_process.kill();
    m_process.wait();
    m_orders.close();
    m_port = 0;
}
