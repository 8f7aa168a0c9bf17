#pragma once
// The program-wide log message handler. Every Qt log message becomes one line on standard
// output (which start-up redirects into the log file):
//   <colour>[<level tag>] Tessaron : <file:line padded to 35>:: <message><colour end>
// Warnings are yellow, critical and fatal messages red; the escapes go into the file as they
// are. Threads: the handler may be entered from any thread; lines are never interleaved.

#include <QString>
#include <QtGlobal>

class QMessageLogContext;

namespace tessaron {

// The eight-character level tag of a message type.
QString logLevelTag(QtMsgType type);
// The whole line for one message, colour escapes included, without the line end.
QString formatLogLine(QtMsgType type, const QMessageLogContext &context, const QString &message);
// The handler to pass to qInstallMessageHandler.
void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

} // namespace tessaron
