#pragma once
// The one table behind the FT_ C functions: the virtual devices present, the open handles
// of both kinds, and the vendor library when installed. The C interface passes nothing but
// handles and serial numbers, so this table is necessarily process-wide; it holds nothing
// else. Every member is thread-safe; no lock is held while a vendor function or a provider
// runs.

#include "vendor_library.h"
#include "virtual_session.h"

#include <vetra/ft60x_virtual.h>
#include <vetra/ftd3xx.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace ft60x {

class device_registry {
public:
    // What an open handle stands for: exactly one of the two is set.
    struct target {
        std::shared_ptr<virtual_session> session;
        FT_HANDLE vendorHandle = nullptr;
    };

    static device_registry &instance();

    // `vendor` may be null (no vendor library); the process-wide instance loads it itself.
    explicit device_registry(const vendor_library *vendor);
    device_registry(const device_registry &) = delete;
    device_registry &operator=(const device_registry &) = delete;

    bool addDevice(const ft60x_virtual::device_info &info, std::shared_ptr<ft60x_virtual::provider> board);
    bool removeDevice(const std::string &serialNumber);
    std::vector<std::string> devices() const;

    // Vendor devices first, then virtual ones, in the order they were added.
    FT_STATUS list(std::vector<FT_DEVICE_LIST_INFO_NODE> &nodes);
    FT_STATUS create(const char *key, std::uint32_t flags, FT_HANDLE *handle);
    // False for a handle that is not open.
    bool find(FT_HANDLE handle, target &out) const;
    FT_STATUS close(FT_HANDLE handle);

    const vendor_library *vendor() const { return vendor_; }

private:
    struct device_record {
        ft60x_virtual::device_info info;
        std::shared_ptr<ft60x_virtual::provider> board;
        std::uint32_t locationId;
        std::weak_ptr<virtual_session> session;
        FT_HANDLE handle = nullptr;
    };

    FT_HANDLE issueHandle(const target &t);                 // under mutex_
    FT_HANDLE handleOfVendor(FT_HANDLE vendorHandle) const; // under mutex_

    const vendor_library *const vendor_;
    mutable std::mutex mutex_;
    std::vector<device_record> devices_;
    std::unordered_map<std::uintptr_t, target> handles_;
    std::uintptr_t nextHandle_ = 1;
    std::uint32_t nextLocation_ = 0x1000;
    std::mutex vendorListMutex_; // the vendor's two-call enumeration is not atomic
};

} // namespace ft60x
