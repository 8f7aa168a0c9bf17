#include "procstatus.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace soak {

namespace {

// The number after `key` on a line that starts with it, or false.
bool field(const std::string &line, const char *key, std::uint64_t &value)
{
    const std::string k(key);
    if (line.compare(0, k.size(), k) != 0)
        return false;
    const char *p = line.c_str() + k.size();
    char *end = nullptr;
    const unsigned long long v = std::strtoull(p, &end, 10);
    if (end == p)
        return false;
    value = v;
    return true;
}

} // namespace

ProcStatus parseProcStatus(const std::string &text)
{
    ProcStatus s;
    bool haveRss = false;
    bool haveThreads = false;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::uint64_t v = 0;
        if (field(line, "VmRSS:", v)) {
            s.rssKiB = v;
            haveRss = true;
        } else if (field(line, "Threads:", v)) {
            s.threads = static_cast<std::uint32_t>(v);
            haveThreads = true;
        }
    }
    s.valid = haveRss && haveThreads;
    return s;
}

ProcStatus readProcStatus()
{
    std::ifstream in("/proc/self/status");
    std::ostringstream text;
    text << in.rdbuf();
    return parseProcStatus(text.str());
}

} // namespace soak
