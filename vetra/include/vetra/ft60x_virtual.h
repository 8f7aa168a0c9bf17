#pragma once
// Virtual FT60x devices: in-process devices served by the FT60x access layer beside the
// real D3XX run-time library. A device has the two FIFO directions of a real bridge; what
// sits on the far side (a board model, an echo device in tests) is a `provider` that knows
// nothing about the host side beyond these calls.
//
// Threads: `provider::fromHost` runs on the thread that called FT_WritePipe (the transport's
// write thread). `device_port::toHost` may be called from any thread, including from inside
// `fromHost`. The IN pipe holds at most `in_pipe_capacity` bytes the host has not read: a
// call from any other thread waits for room (or for the device to be closed or removed), as a
// board waits on a full bridge FIFO; from inside `fromHost` it never waits, so the pipe holds
// at most that plus what one request is answered with.

#include <vetra/vetra_export.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ft60x_virtual {

constexpr std::size_t in_pipe_capacity = std::size_t(4) << 20;

// The host-facing side of one opened virtual device, handed to the provider on attach.
class VETRA_EXPORT device_port {
public:
    virtual ~device_port() = default;
    // Queues bytes on the IN pipe; a blocked FT_ReadPipe returns with them.
    virtual void toHost(const std::uint8_t *data, std::size_t size) = 0;
};

// The board side of a virtual device.
class VETRA_EXPORT provider {
public:
    virtual ~provider() = default;
    // The host opened the device (FT_Create). `port` stays valid until `detach` returns.
    virtual void attach(device_port *port) = 0;
    // Bytes the host wrote to the OUT pipe, in order.
    virtual void fromHost(const std::uint8_t *data, std::size_t size) = 0;
    // The host closed the device (FT_Close) or the device was removed; after return the
    // provider must not touch the port any more.
    virtual void detach() = 0;
};

struct device_info {
    std::string serialNumber;
    std::string description;
};

// Adds a device to what FT_CreateDeviceInfoList / FT_GetDeviceInfoList report. Returns false
// when a device with that serial number is already present, when `board` is null, or when
// the serial number is empty or longer than 15 characters (the listed field holds 16 bytes,
// and a serial number that cannot be listed whole could not be opened by it).
VETRA_EXPORT bool addDevice(const device_info &info, std::shared_ptr<provider> board);

// Removes a device as if it had been unplugged: blocked and later pipe operations on open
// handles fail with status 30 ("Device not connected"); the provider is detached.
// Returns false when no such device exists.
VETRA_EXPORT bool removeDevice(const std::string &serialNumber);

// The serial numbers of the virtual devices present now.
VETRA_EXPORT std::vector<std::string> devices();

} // namespace ft60x_virtual
