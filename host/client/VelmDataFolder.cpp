#include "VelmDataFolder.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace {

QString chooseFolder(const QString& commandLineDir)
{
    if (!commandLineDir.isEmpty())
        return QDir(commandLineDir).absolutePath();
    const QString fromEnvironment = qEnvironmentVariable(VelmDataFolder::EnvironmentVariable);
    if (!fromEnvironment.isEmpty())
        return QDir(fromEnvironment).absolutePath();
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

} // namespace

VelmDataFolder::VelmDataFolder(const QString& commandLineDir)
    : m_path(chooseFolder(commandLineDir))
{
}

VelmDataFolder::~VelmDataFolder() = default;

QString VelmDataFolder::databasePath() const
{
    return m_path + QStringLiteral("/velm.db");
}

bool VelmDataFolder::acquire(QString* message)
{
    if (isHeld())
        return true;
    if (!QDir().mkpath(m_path)) {
        *message = QStringLiteral("无法创建数据文件夹 %1，客户端不能启动。").arg(m_path);
        return false;
    }
    auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral("/velm.lock"));
    // Held for the client's whole life: only a crashed owner's lock (its process gone) is stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        return true;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        lock->getLockInfo(&pid, &host, &application);
        *message = QStringLiteral("数据文件夹 %1 正被另一个客户端使用（进程 %2），本客户端不能启动。")
                       .arg(m_path)
                       .arg(pid);
    } else {
        *message = QStringLiteral("无法写入数据文件夹 %1，客户端不能启动。").arg(m_path);
    }
    return false;
}

void VelmDataFolder::release()
{
    m_lock.reset();
}

bool VelmDataFolder::isHeld() const
{
    return m_lock && m_lock->isLocked();
}
