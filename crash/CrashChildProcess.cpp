#include "CrashChildProcess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <vector>

CrashChildProcess::~CrashChildProcess()
{
    if (m_pid > 0) {
        kill();
        wait();
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CrashChildProcess::start(const QString& program, const QStringList& arguments, const QString& errorLogPath)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const QByteArray path = QFile::encodeName(program);
    const QByteArray errorLog = QFile::encodeName(errorLogPath);
    QByteArrayList encoded;
    for (const QString& argument : arguments)
        encoded.append(argument.toLocal8Bit());
    std::vector<char*> argv{const_cast<char*>(path.constData())};
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid == 0) {
#ifdef __linux__
        // Nothing the harness started outlives it, even when it is killed itself.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        ::dup2(fds[1], STDOUT_FILENO);
        const int errorFd = ::open(errorLog.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (errorFd >= 0)
            ::dup2(errorFd, STDERR_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execv(path.constData(), argv.data());
        _exit(127);
    }
    ::close(fds[1]);
    if (m_pid < 0) {
        ::close(fds[0]);
        return false;
    }
    m_fd = fds[0];
    m_partial.clear();
    return true;
}

QByteArrayList CrashChildProcess::readLines(int timeoutMs, bool& ended)
{
    QByteArrayList lines;
    ended = false;
    pollfd watched{m_fd, POLLIN, 0};
    const int ready = ::poll(&watched, 1, timeoutMs);
    if (ready <= 0)
        return lines;
    char buffer[65536];
    const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
        return lines;
    if (got <= 0) {
        ended = true;
        return lines;
    }
    m_partial.append(buffer, int(got));
    int start = 0;
    for (int end = m_partial.indexOf('\n'); end >= 0; end = m_partial.indexOf('\n', start)) {
        lines.append(m_partial.mid(start, end - start));
        start = end + 1;
    }
    m_partial.remove(0, start);
    return lines;
}

void CrashChildProcess::kill()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
}

QString CrashChildProcess::wait()
{
    if (m_pid <= 0)
        return QString();
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (WIFSIGNALED(status))
        return QStringLiteral("killed by signal %1").arg(WTERMSIG(status));
    return QStringLiteral("exited with %1").arg(WEXITSTATUS(status));
}
