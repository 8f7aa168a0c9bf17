#pragma once
// The device library's entry object: lists boards, opens one, and creates its module objects.
//
// Ownership: the module objects belong to this object. Destroying it (or opening again)
// stops every module callback and closes the link before it returns.
// Threads: calls are made from one thread at a time; module callbacks run on the link's
// threads.

#include "tdc/tdcexport.h"
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "tdc/tessaronmodule.h"

using DeviceMap = std::map<std::string, std::string>;

class TDC_EXPORT TDCBackend {
public:
    // `path`: a per-user data folder ending in "/", or empty.
    explicit TDCBackend(std::string path = {});
    ~TDCBackend();
    TDCBackend(const TDCBackend &) = delete;
    TDCBackend &operator=(const TDCBackend &) = delete;

    // The attached boards (the link library's device maps with "numCH" added), and the
    // names of the interfaces whose enumeration succeeded.
    std::pair<std::vector<DeviceMap>, std::vector<std::string>> getDevices();

    std::error_code open(const DeviceMap &device, const DeviceMap &options,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    std::error_code open(const DeviceMap &device, const DeviceMap &options, int timeoutMs) {
        return open(device, options, std::chrono::milliseconds(timeoutMs));
    }
    void close();
    bool isOpen() const;

    // Reads the board's module table and creates the module objects. Throws
    // std::runtime_error with a clear text when the table cannot be read or makes no sense.
    void loadModules(int flags = 0);
    // The module objects in the board's order; valid until close or the next loadModules.
    std::vector<TessaronModule *> getModules() const;

    static std::string version();
    static std::string buildInfo();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
