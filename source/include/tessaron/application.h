#pragma once
// The program's start-up and shutdown: application identity, log handler, command line, log
// file, the objects published to QML, and the teardown order after the event loop.

#include <QString>

namespace tessaron {

extern const char *const kApplicationVersion;   // "1.4.2.2"
// "Version <describe> built by <host> at <yyyy-MM-dd HH:mm:ss> "
QString buildInformation();
// False unless the build says otherwise.
bool isReleaseBuild();

// Registers the "TDCFrontend" 1.0 enum namespace for QML.
void registerFrontendTypes();

// Runs the program; the result is the process exit code.
int runTessaron(int argc, char *argv[]);

} // namespace tessaron
