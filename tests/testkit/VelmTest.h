#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QWidget;

// Shared set-up of the test executables.
namespace VelmTest {

// Turns Qt's warnings about broken connections (an unregistered queued argument type, a missing
// signal or slot) into a crash of the test. Call from initTestCase(), after Qt Test has installed
// its own handler, which this one passes every other message on to.
void installStrictMessageHandler();

// A non-interactive window manager in gWM, the strategy log in a temporary folder.
void setUpWindowManager();

// Every popup gWM recorded, one line each: its text, " | <detail>" when it has one, "confirm <title>: "
// or "tooltip: " before a confirmation's or tool tip's text, " (parent: <class>)" when not on `parent`.
QStringList popups(const QWidget* parent);

// A folder for this test run's files.
QString tempDir();

// Writes `bytes` to the file `name` in tempDir() and returns its path; empty if it could not.
QString writeTempFile(const QString& name, const QByteArray& bytes);

// Replaces the file at `path` with `bytes`; false if it could not.
bool writeFile(const QString& path, const QByteArray& bytes);

// The whole file at `path`; empty if it cannot be read.
QByteArray readFile(const QString& path);

// Runs `sql` on the SQLite database at `path` (made if missing), as another program would edit it.
bool runSql(const QString& path, const char* sql);

// Waits, at most `timeoutMs`, until the calling thread is the process's only one. QtTest's watchdog
// (the only QThread a test process makes) is detached: its wait() returns, and QtTest deletes it,
// while the thread still holds the watchdog's 120-byte thread data, which only the thread's own
// teardown frees. LeakSanitizer has reported that block lost when the process ended first.
bool waitUntilOnlyThread(int timeoutMs);

// "<id> <name>" of every thread but the calling one, to tell which thread outlived a test.
QStringList otherThreadNames();

} // namespace VelmTest
