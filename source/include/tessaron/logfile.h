#pragma once
// The time-stamped log file of one start. Each start gets a file of its own: a second start
// within the same second takes the name with "_1", "_2", ... appended instead of truncating
// the first start's log.

#include <QDateTime>
#include <QString>

namespace tessaron {

struct LogFile {
    QString path;   // empty when no file could be created
    int fd = -1;    // open for writing, owned by the caller
};

// Creates "<appDataDir>/logs/<yyyy_MM_dd_hh_mm_ss>.txt" (the folder with parents), never
// reusing an existing file.
LogFile createLogFile(const QString &appDataDir, const QDateTime &startTime);

// Makes standard output write into `file` (closing its descriptor). False when that fails;
// standard output is then unchanged.
bool redirectStdout(LogFile &file);

} // namespace tessaron
