// The end-to-end test program: the real Tessaron start-up with the end-to-end kit acting as the user.
//   tessaron_e2e --e2e-phase <phase> --e2e-artifacts <folder> [Tessaron options]
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "e2ekit.h"
#include "tessaron/application.h"

namespace {
e2e::Options driverOptions;

void startDriver()
{
    // The first turn of the event loop comes after the program has loaded its QML.
    QTimer::singleShot(0, [] {
        e2e::Kit kit(driverOptions);
        kit.run();
    });
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriver)

int main(int argc, char *argv[])
{
    std::vector<char *> programArgs;
    for (int i = 0; i < argc; ++i) {
        if (i + 1 < argc && std::strcmp(argv[i], "--e2e-phase") == 0) {
            driverOptions.phase = QString::fromLocal8Bit(argv[++i]);
        } else if (i + 1 < argc && std::strcmp(argv[i], "--e2e-artifacts") == 0) {
            driverOptions.artifactDir = QString::fromLocal8Bit(argv[++i]);
        } else {
            programArgs.push_back(argv[i]);
        }
    }
    if (driverOptions.phase.isEmpty() || driverOptions.artifactDir.isEmpty()) {
        std::fprintf(stderr, "usage: %s --e2e-phase <phase> --e2e-artifacts <folder>\n", argv[0]);
        return 2;
    }
    programArgs.push_back(nullptr);
    int programArgc = static_cast<int>(programArgs.size()) - 1;
    const int result = tessaron::runTessaron(programArgc, programArgs.data());
    std::fprintf(stderr, "e2e[%s]: program ended with %d\n", qPrintable(driverOptions.phase), result);
    return result;
}
