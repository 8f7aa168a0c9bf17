#include "tdc/tdclog.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "log.h"

namespace {
std::atomic<int> currentLevel{tdclog::warning};
std::mutex writeMutex;

const char *levelName(int level)
{
    switch (level) {
    case tdclog::fatal: return "fatal";
    case tdclog::error: return "error";
    case tdclog::warning: return "warning";
    case tdclog::info: return "info";
    case tdclog::debug: return "debug";
    default: return "trace";
    }
}
} // namespace

namespace libtdcLog {

void setLevel(int level)
{
    currentLevel = std::clamp(level, 0, 6);
}

int level()
{
    return currentLevel;
}

} // namespace libtdcLog

namespace tdclog {

bool enabled(int level)
{
    return level > off && level <= currentLevel.load(std::memory_order_relaxed);
}

void write(int level, const std::string &message)
{
    // One line per message even when several threads log at once.
    std::lock_guard<std::mutex> lock(writeMutex);
    std::fprintf(stderr, "[libtdc] %s: %s\n", levelName(level), message.c_str());
    std::fflush(stderr);
}

} // namespace tdclog
