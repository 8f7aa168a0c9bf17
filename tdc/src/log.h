#pragma once
// The library's own log lines on standard error, filtered by libtdcLog's level.

#include <sstream>
#include <string>

namespace tdclog {

enum Level { off = 0, fatal = 1, error = 2, warning = 3, info = 4, debug = 5, trace = 6 };

bool enabled(int level);
void write(int level, const std::string &message);

} // namespace tdclog

#define TDC_LOG(level, expr)                                                                       \
    do {                                                                                           \
        if (tdclog::enabled(level)) {                                                              \
            std::ostringstream tdc_log_stream_;                                                    \
            tdc_log_stream_ << expr;                                                               \
            tdclog::write(level, tdc_log_stream_.str());                                           \
        }                                                                                          \
    } while (0)
