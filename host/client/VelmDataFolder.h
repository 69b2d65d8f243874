#pragma once

#include "VelmBaseExport.h"

#include <QString>

#include <memory>

class QLockFile;

// The client's data folder: where the scheduled-order database lives, held by one client at a
// time. The folder is given on the command line (--data-dir), else by VELM_DATA_DIR (tests,
// benchmarks), else it is the application's data location.
class VELM_BASE_EXPORT VelmDataFolder final
{
public:
    static constexpr const char* EnvironmentVariable = "VELM_DATA_DIR";

    // `commandLineDir` empty: the environment variable, then the standard location.
    explicit VelmDataFolder(const QString& commandLineDir = QString());
    ~VelmDataFolder();

    QString path() const { return m_path; }
    QString databasePath() const;

    // Makes the folder and takes its lock; false with a message for the trader when the folder
    // cannot be written or another client holds it. A lock left by a client that crashed is taken over.
    bool acquire(QString* message);
    void release();
    bool isHeld() const;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
