// The program's own wrapper set-up, apart from the wrapper so that tests can build a wrapper
// on a stand-in device library without linking the real one.
#include "tessaron/tdcbackendwrapper.h"

#include <QCoreApplication>
#include <QStandardPaths>

TDCBackendWrapper::TDCBackendWrapper(QObject *parent, tessaron::BackendOptions options)
    : TDCBackendWrapper(parent, std::move(options),
                        Setup{&tessaron::makeTdcDeviceBackend, QCoreApplication::applicationDirPath(),
                              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), 1000})
{
}
