#include "CrashReport.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

CrashReport::CrashReport(int fd)
    : m_fd(fd)
{
}

void CrashReport::line(const QByteArray& text) const
{
    writeAll(text.left(PIPE_BUF - 1) + '\n');
}

void CrashReport::lines(const QByteArrayList& texts) const
{
    QByteArray chunk;
    for (const QByteArray& text : texts) {
        const QByteArray one = text.left(PIPE_BUF - 1) + '\n';
        if (chunk.size() + one.size() > PIPE_BUF) {
            writeAll(chunk);
            chunk.clear();
        }
        chunk += one;
    }
    if (!chunk.isEmpty())
        writeAll(chunk);
}

void CrashReport::writeAll(const QByteArray& bytes) const
{
    const char* data = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        // The harness is gone: nobody is left to count what this process does.
        if (written <= 0)
            _exit(3);
        data += written;
        left -= static_cast<size_t>(written);
    }
}
