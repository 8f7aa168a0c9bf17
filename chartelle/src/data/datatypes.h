#pragma once
// Registers the data path's types for QML: the filter node (under both of its names), the
// decimators and filters, and the two data sources. Called once from the plugin's
// registerTypes.
#include "chartelle/filter1d.h"
#include "data/randomu64data.h"
#include "data/scsvreader.h"
#include "filters/decimatoru64.h"
#include "filters/fixeddecimator2d.h"
#include "filters/fixeddecimatoru64.h"
#include "filters/log10u64.h"
#include "filters/minimalwidth2d.h"
#include "filters/movingavarangeu64.h"

#include <QtQml/qqml.h>

inline void registerChartelleDataTypes(const char *uri)
{
    qmlRegisterType<Filter1D>(uri, 1, 0, "IFIlterU64");
    qmlRegisterType<DecimatorU64>(uri, 1, 0, "DecimatorU64");
    qmlRegisterType<RandomU64Data>(uri, 1, 0, "RandomU64Data");
    qmlRegisterType<MovingAvarangeU64>(uri, 1, 0, "MovingAvarangeU64");
    qmlRegisterType<Log10U64>(uri, 1, 0, "Log10U64");
    qmlRegisterType<FixedDecimatorU64>(uri, 1, 0, "FixedDecimatorU64");
    qmlRegisterType<Filter1D>(uri, 1, 0, "Filter1D");
    qmlRegisterType<FixedDecimator2D>(uri, 1, 0, "FixedDecimator2D");
    qmlRegisterType<MinimalWidth2D>(uri, 1, 0, "MinimalWidth2D");
    qmlRegisterType<SCSVReader>(uri, 1, 0, "SCSVReader");
}
