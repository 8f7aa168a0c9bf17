#include "plugin.h"

#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "chartelle/filter1d.h"
#include "chartelle/ichartarea.h"
#include "chartelle/iplotter1d.h"
#include "plotters/areaplotter.h"
#include "plotters/bardecorator.h"
#include "plotters/barplotter.h"
#include "shaders/chartprograms.h"

#if __has_include("data/datatypes.h")
#include "data/datatypes.h"
#define CHARTELLE_HAS_DATA_TYPES 1
#endif

#include <QtQml>

namespace chartelle {

void registerChartelleTypes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const char *uri = "Chartelle";
    qRegisterMetaType<IPlotter *>("IPlotter*");
    qRegisterMetaType<QList<IPlotter *>>("QList<IPlotter*>");
    qRegisterMetaType<IPlotter1D *>("IPlotter1D*");
    qRegisterMetaType<Filter1D *>("Filter1D*");
    qRegisterMetaType<IChartArea *>("IChartArea*");
    qmlRegisterAnonymousType<IPlotter>(uri, 1);
    qmlRegisterAnonymousType<IPlotter1D>(uri, 1);

    qmlRegisterType<ChartArea>(uri, 1, 0, "ChartArea");
    qmlRegisterType<IChartArea>(uri, 1, 0, "IChartArea");
    qmlRegisterType<BarPlotter>(uri, 1, 0, "BarPlotter");
    qmlRegisterType<BarPlotterDx>(uri, 1, 0, "BarPlotterDx");
    qmlRegisterType<AreaPlotter>(uri, 1, 0, "AreaPlotter");
    qmlRegisterType<BarDecorator>(uri, 1, 0, "BarDecorator");
#ifdef CHARTELLE_HAS_DATA_TYPES
    registerChartelleDataTypes(uri);
#else
    qmlRegisterType<Filter1D>(uri, 1, 0, "IFIlterU64");
    qmlRegisterType<Filter1D>(uri, 1, 0, "Filter1D");
#endif
    registerChartPrograms();
}

}  // namespace chartelle

void QMLChartExtensionPlugin::registerTypes(const char *)
{
    // The module is always "Chartelle", whatever path it was imported through.
    chartelle::registerChartelleTypes();
}
