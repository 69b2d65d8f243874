#pragma once

#include <QByteArray>
#include <QByteArrayList>

// The crash child's line channel to the harness. Every line leaves with one unbuffered write(2)
// the moment it is reported, so what was written survives a SIGKILL right after; lines of at most
// PIPE_BUF bytes are never interleaved with those of another thread.
class CrashReport final
{
public:
    explicit CrashReport(int fd);

    // Adds the line end; a longer line is cut to what stays atomic.
    void line(const QByteArray& text) const;
    // As few writes as the atomic size allows, never splitting a line.
    void lines(const QByteArrayList& texts) const;

private:
    void writeAll(const QByteArray& bytes) const;

    const int m_fd;
};
