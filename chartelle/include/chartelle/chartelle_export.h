#pragma once
// Symbols of the chart plugin that measurement plugins link against.
#include <QtCore/qglobal.h>

#if defined(CHARTELLE_BUILDING)
#define CHARTELLE_EXPORT Q_DECL_EXPORT
#else
#define CHARTELLE_EXPORT Q_DECL_IMPORT
#endif
