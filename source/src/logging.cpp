#include "tessaron/logging.h"

#include <QTextStream>

#include <cstdio>
#include <mutex>

namespace tessaron {

QString logLevelTag(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return QStringLiteral("DEBUG   ");
    case QtWarningMsg: return QStringLiteral("WARNING ");
    case QtCriticalMsg: return QStringLiteral("CRITICAL");
    case QtFatalMsg: return QStringLiteral("FATAL   ");
    case QtInfoMsg: break;
    }
    return QStringLiteral("INFO    ");
}

namespace {
QString colourPrefix(QtMsgType type)
{
    switch (type) {
    case QtWarningMsg: return QStringLiteral("\x1b[1;33m");
    case QtCriticalMsg:
    case QtFatalMsg: return QStringLiteral("\x1b[31m");
    default: return QString();
    }
}

QString sourceLocation(const QMessageLogContext &context)
{
    // Sources built on either kind of system may name their files with either separator.
    QString file = QString::fromUtf8(context.file ? context.file : "");
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    file = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    return QStringLiteral("%1:%2").arg(file).arg(context.file ? context.line : 0);
}
} // namespace

QString formatLogLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString prefix = colourPrefix(type);
    const QString suffix = prefix.isEmpty() ? QString() : QStringLiteral("\x1b[0m");
    // One multi-argument substitution, so a "%1" inside the message stays as it is.
    const QString body = QStringLiteral("[%1] Tessaron : %2:: %3")
                             .arg(logLevelTag(type), sourceLocation(context).leftJustified(35),
                                  message);
    return prefix + body + suffix;
}

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = formatLogLine(type, context, message);
    static std::mutex outputMutex;
    std::lock_guard<std::mutex> lock(outputMutex);
    QTextStream out(stdout);
    out << line << Qt::endl;
}

} // namespace tessaron
