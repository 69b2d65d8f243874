#include "CrashDatabase.h"

#include <QFile>
#include <QStringList>

#include <sqlite3.h>

namespace CrashDatabase {

namespace {

// Runs `sql` on the file opened read-only and hands each row's first column to `row`.
template <typename Row>
QString eachRow(const QString& path, const char* sql, Row&& row)
{
    sqlite3* db = nullptr;
    QString error;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return error;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            const auto* text = static_cast<const char*>(sqlite3_column_blob(statement, 0));
            row(QByteArray(text, sqlite3_column_bytes(statement, 0)));
        }
        if (step != SQLITE_DONE)
            error = QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return error;
}

} // namespace

QString integrityCheck(const QString& path)
{
    QStringList rows;
    const QString error = eachRow(path, "PRAGMA integrity_check", [&rows](const QByteArray& text) {
        rows.append(QString::fromUtf8(text));
    });
    if (!error.isEmpty())
        return error;
    return rows.join(QLatin1String("; "));
}

QHash<QByteArray, int> logLineCounts(const QString& path, QString* error)
{
    QHash<QByteArray, int> counts;
    const QString failure = eachRow(path, "SELECT text FROM op_log", [&counts](QByteArray text) {
        ++counts[text.replace('\n', ' ')];
    });
    if (error)
        *error = failure;
    return counts;
}

} // namespace CrashDatabase
