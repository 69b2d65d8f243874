#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// What the harness reads from the child's database file, opened read-only while no child runs.
namespace CrashDatabase {

// "ok", or what PRAGMA integrity_check (or opening the file) reported.
QString integrityCheck(const QString& path);
// How often each text stands in the operation log, line ends read as spaces like the child sends them.
QHash<QByteArray, int> logLineCounts(const QString& path, QString* error);

} // namespace CrashDatabase
