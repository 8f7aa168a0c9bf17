#include "oldhistograminterface.h"

#include <QDebug>
#include <QtQml>

#include "fileio.h"
#include "tdc/tdcoldhistogrammermodule.h"
#include "tdcoldhistogrammerwrapper.h"
#include "timetriggermodel.h"

void HistogramInterface::registerTypes(const char *)
{
    qmlRegisterType<calvire::TimeTriggerModel>("TDCFrontend.OldHistogrammer", 1, 0, "TimeTriggerModel");
    // The settings view reads and writes parameter files; the histogram plugin's own
    // registration may be absent from the process.
    qmlRegisterType<FileIO>("TDCFrontend.OldHistogrammer", 1, 0, "FileIO");
    qDebug().noquote() << "Module TDCFrontend.OldHistogrammer registered!";
}

QString HistogramInterface::name()
{
    return QStringLiteral("OldHistogram");
}

bool HistogramInterface::isCompatible(TessaronModule *module)
{
    return dynamic_cast<TDCOldHistogrammerModule *>(module) != nullptr;
}

QString HistogramInterface::icon()
{
    return QStringLiteral("bar-chart");
}

// The settings view is the plugin's main view; chart views are spawned from it.
QString HistogramInterface::view()
{
    return QStringLiteral("qrc:/plugin/oldhistogrammermodule/qml/settings/OldHistogramSettingsView.qml");
}

QString HistogramInterface::uuid()
{
    return QStringLiteral("OldHistogramView");
}

// Also the type number of the module kind this plugin serves.
int HistogramInterface::priority()
{
    return 8192;
}

QString HistogramInterface::version()
{
    return QStringLiteral("1.0.0");
}

TDCBaseExtensionObject *HistogramInterface::createModel(TessaronModule *module, QObject *backend)
{
    auto *histogrammer = dynamic_cast<TDCOldHistogrammerModule *>(module);
    return histogrammer ? new TDCOldHistogrammerWrapper(histogrammer, backend) : nullptr;
}
