#pragma once

#include <QApplication>
#include <QEvent>
#include <QString>

#include <map>
#include <vector>

// Times every event delivered on the GUI thread while recording, by receiver. Only outermost
// deliveries count, so a handler that sends events of its own is timed once, with them.
class TimedApplication final : public QApplication
{
public:
    struct Slowest {
        double ms = 0.0;
        double cpuMs = 0.0;     // what of it the GUI thread ran, not waited for a core
        QString receiver;
        QEvent::Type type = QEvent::None;
        double totalMs = 0.0;
        double totalCpuMs = 0.0;
        int deliveries = 0;
    };

    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override;

    void record(bool on) { m_recording = on; }
    // The receivers' slowest single deliveries, slowest first.
    std::vector<Slowest> slowest() const;
    // Forgets what was recorded so far.
    void clearRecord() { m_byReceiver.clear(); }

private:
    bool m_recording = false;
    int m_depth = 0;
    std::map<QString, Slowest> m_byReceiver;
};
