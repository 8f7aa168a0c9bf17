#pragma once
// The device library's log level: 0 (off) … 6 (trace), default 3 (warnings and errors).
// Messages go to standard error, one line each, prefixed "[libtdc]".

namespace libtdcLog {
void setLevel(int level);
int level();
} // namespace libtdcLog
