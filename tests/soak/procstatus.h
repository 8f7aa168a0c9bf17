#pragma once
// The process's resident memory and thread count, as the kernel reports them in
// /proc/self/status, to see whether a cycle gave back what it took.

#include <cstdint>
#include <string>

namespace soak {

struct ProcStatus {
    std::uint64_t rssKiB = 0; // VmRSS
    std::uint32_t threads = 0;
    bool valid = false; // both fields were found
};

// Parses the text of a /proc/<pid>/status file.
ProcStatus parseProcStatus(const std::string &text);
ProcStatus readProcStatus();

} // namespace soak
