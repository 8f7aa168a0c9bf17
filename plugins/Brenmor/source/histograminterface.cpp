#include "histograminterface.h"

#include <QDebug>
#include <QtQml>

#include "fileio.h"
#include "tdc/tdchistogrammermodule.h"
#include "tdchistogrammerwrapper.h"
#include "timetriggermodel.h"

void NewHistogramInterface::registerTypes(const char *)
{
    qmlRegisterType<TimeTriggerModel>("TDCFrontend.Histogrammer", 1, 0, "TimeTriggerModel");
    qmlRegisterType<FileIO>("TDCFrontend.Histogrammer", 1, 0, "FileIO");
    qRegisterMetaType<TDCHistogrammerWrapper *>("TDCHistogrammerWrapper*");
    qDebug().noquote() << "Module TDCFrontend.Histogrammer registered!";
}

QString NewHistogramInterface::name()
{
    return QStringLiteral("Histogram");
}

bool NewHistogramInterface::isCompatible(TessaronModule *module)
{
    return dynamic_cast<TDCHistogrammerModule *>(module) != nullptr;
}

QString NewHistogramInterface::icon()
{
    return QStringLiteral("qrc:/plugin/histogrammermodule/img/histogram_icon.png");
}

// The settings view is the plugin's main view; chart views are spawned from it.
QString NewHistogramInterface::view()
{
    return QStringLiteral("qrc:/plugin/histogrammermodule/qml/settings/HistogramSettingsView.qml");
}

QString NewHistogramInterface::uuid()
{
    return QStringLiteral("HistogramView");
}

// Also the type number of the module kind this plugin serves.
int NewHistogramInterface::priority()
{
    return 8192;
}

QString NewHistogramInterface::version()
{
    return QStringLiteral("1.0.0");
}

TDCBaseExtensionObject *NewHistogramInterface::createModel(TessaronModule *module, QObject *backend)
{
    auto *histogrammer = dynamic_cast<TDCHistogrammerModule *>(module);
    return histogrammer ? new TDCHistogrammerWrapper(histogrammer, backend) : nullptr;
}
