#include "TimedApplication.h"

#include <QElapsedTimer>
#include <QThread>

#include <time.h>

#include <algorithm>

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

} // namespace

bool TimedApplication::notify(QObject* receiver, QEvent* event)
{
    if (!m_recording || m_depth > 0 || QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    const QString name = QString::fromLatin1(receiver->metaObject()->className());
    const QEvent::Type type = event->type();
    ++m_depth;
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = threadCpuMs();
    const bool handled = QApplication::notify(receiver, event);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double cpuMs = threadCpuMs() - cpuStart;
    --m_depth;
    Slowest& slowest = m_byReceiver[name];
    if (ms > slowest.ms) {
        slowest.ms = ms;
        slowest.cpuMs = cpuMs;
        slowest.receiver = name;
        slowest.type = type;
    }
    slowest.totalMs += ms;
    slowest.totalCpuMs += cpuMs;
    ++slowest.deliveries;
    return handled;
}

std::vector<TimedApplication::Slowest> TimedApplication::slowest() const
{
    std::vector<Slowest> all;
    for (const auto& entry : m_byReceiver)
        all.push_back(entry.second);
    std::sort(all.begin(), all.end(), [](const Slowest& a, const Slowest& b) { return a.ms > b.ms; });
    return all;
}
