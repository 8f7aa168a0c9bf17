#pragma once
// The device library's log level: 0 (off) … 6 (trace), default 3 (warnings and errors).
// Messages go to standard error, one line each, prefixed "[libtdc]".

#include "tdc/tdcexport.h"
namespace libtdcLog {
TDC_EXPORT void setLevel(int level);
TDC_EXPORT int level();
} // namespace libtdcLog
