#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QStringList>

#include <sys/types.h>

// One run of the crash child: started with its standard output on a pipe (its standard error
// appended to a file), read line by line, killed with SIGKILL and reaped.
class CrashChildProcess final
{
public:
    CrashChildProcess() = default;
    ~CrashChildProcess();
    CrashChildProcess(const CrashChildProcess&) = delete;
    CrashChildProcess& operator=(const CrashChildProcess&) = delete;

    bool start(const QString& program, const QStringList& arguments, const QString& errorLogPath);
    // Waits at most `timeoutMs` for output and returns the whole lines that came; `ended` turns true
    // once the child closed its end (it died or exited) and everything it wrote was read.
    QByteArrayList readLines(int timeoutMs, bool& ended);
    void kill();
    // Reaps the child; a text such as "killed by signal 9" or "exited with 1".
    QString wait();

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    QByteArray m_partial;
};
