#pragma once
// What every module of the virtual board offers the board: its identity for the module table,
// its register window, and work that falls due on the board's clock.
//
// Modules are owned by the Board and called only under the board's mutex, on whichever thread
// delivered the request (the host's write thread, the pty reader) or on the pacing thread.

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace kestrane {

struct ModuleVersion {
    std::uint8_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t patch = 0;
};

// Status words of memory responses.
enum class Status : std::uint32_t {
    ok = 8,
    decodeError = 2,
    slaveError = 4,
};

// Packets a module wants to send to the host; the board sends them after releasing its mutex.
using Outbox = std::vector<std::pair<std::uint8_t, std::vector<std::uint32_t>>>;

constexpr std::int64_t never = std::numeric_limits<std::int64_t>::max();

class Module {
public:
    virtual ~Module() = default;

    virtual std::uint32_t typeID() const = 0;
    virtual ModuleVersion hardwareVersion() const = 0;
    virtual ModuleVersion softwareVersion() const = 0;
    virtual std::uint32_t size() const = 0;

    // Register access by offset within the window; `now` is board time in nanoseconds.
    virtual Status read(std::uint32_t offset, std::uint32_t &value) = 0;
    // Whether a write to `offset` would succeed; lets the board refuse a burst as a whole.
    virtual Status canWrite(std::uint32_t offset) const = 0;
    virtual void write(std::uint32_t offset, std::uint32_t value, std::int64_t now) = 0;

    // Work due at `now`; packets for the host go to `out`.
    virtual void service(std::int64_t /*now*/, Outbox & /*out*/) {}
    // Board time of the next work, or `never`.
    virtual std::int64_t nextDue() const { return never; }
    // Packets the module owes the host before the answer to the request just handled (a
    // stopped stream's last tags); called after every request.
    virtual void flush(std::int64_t /*now*/, Outbox & /*out*/) {}
    // The host closed the link.
    virtual void hostDetached() {}
};

} // namespace kestrane
