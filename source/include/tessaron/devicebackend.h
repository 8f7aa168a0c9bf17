#pragma once
// The calls the backend wrapper makes on the device library's entry object, behind an
// interface so the wrapper's state machine can be exercised without a board.
//
// Threads: one call at a time (the wrapper serialises them with its mutex).

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

class TessaronModule;

namespace tessaron {

using DeviceDescription = std::map<std::string, std::string>;

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    virtual std::vector<DeviceDescription> devices() = 0;
    virtual std::error_code open(const DeviceDescription &device, const DeviceDescription &options,
                                 std::chrono::milliseconds timeout) = 0;
    // Throws a standard exception when the module table cannot be read.
    virtual void loadModules() = 0;
    // Owned by this object; valid until it is destroyed or loads modules again.
    virtual std::vector<TessaronModule *> modules() const = 0;
    // Version texts of the device library and of the link library beneath it.
    virtual std::string libraryVersion() const = 0;
    virtual std::string libraryBuildInfo() const = 0;
    virtual std::string linkLibraryVersion() const = 0;
    virtual std::string linkLibraryBuildInfo() const = 0;
};

// Makes an entry object for the given data folder ("" for none).
using DeviceBackendFactory = std::function<std::unique_ptr<DeviceBackend>(const std::string &path)>;

// The factory of the real device library.
std::unique_ptr<DeviceBackend> makeTdcDeviceBackend(const std::string &path);

} // namespace tessaron
