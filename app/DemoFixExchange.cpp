#include "DemoFixExchange.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

namespace {

constexpr int kStartTimeoutMs = 10000;

} // namespace

DemoFixExchange::~DemoFixExchange()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStartTimeoutMs))
        m_process.kill();
    m_process.waitForFinished(kStartTimeoutMs);
}

bool DemoFixExchange::start(const QString& dataFolder, QString* whyNot)
{
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("velm_fixsim"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data-dir"), dataFolder});
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        *whyNot = QStringLiteral("无法启动模拟交易所 %1：%2").arg(program, m_process.errorString());
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("^listening on [^:]+:(\\d+)"));
    while (m_process.waitForReadyRead(kStartTimeoutMs) || m_process.canReadLine()) {
        while (m_process.canReadLine()) {
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(m_process.readLine()));
            if (match.hasMatch()) {
                m_port = match.captured(1).toInt();
                return true;
            }
        }
    }
    *whyNot = QStringLiteral("模拟交易所 %1 未能开始监听").arg(program);
    return false;
}
