#include "tessaron/logfile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tessaron {

LogFile createLogFile(const QString &appDataDir, const QDateTime &startTime)
{
    LogFile file;
    const QString logDir = appDataDir + QStringLiteral("/logs");
    if (!QDir().mkpath(logDir))
        return file;
    const QString stem = logDir + QLatin1Char('/') + startTime.toString(QStringLiteral("yyyy_MM_dd_hh_mm_ss"));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString path = attempt == 0 ? stem + QStringLiteral(".txt")
                                          : QStringLiteral("%1_%2.txt").arg(stem).arg(attempt);
        // O_EXCL makes the choice of name atomic between two starts racing for it.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            file.path = path;
            file.fd = fd;
            return file;
        }
        if (errno != EEXIST)
            return file;
    }
    return file;
}

bool redirectStdout(LogFile &file)
{
    if (file.fd < 0)
        return false;
    std::fflush(stdout);
    const bool ok = ::dup2(file.fd, STDOUT_FILENO) >= 0;
    ::close(file.fd);
    file.fd = -1;
    return ok;
}

} // namespace tessaron
