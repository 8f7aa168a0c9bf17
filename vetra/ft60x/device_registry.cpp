#include "device_registry.h"

#include <algorithm>
#include <cstring>

namespace ft60x {

namespace {

// A virtual device presents itself as an FT601 on a USB 3 port.
constexpr std::uint32_t virtual_type = FT_DEVICE_601;
constexpr std::uint32_t virtual_id = 0x0403601F;
constexpr std::size_t max_serial = sizeof(FT_DEVICE_LIST_INFO_NODE{}.SerialNumber) - 1;

void copyText(char *dest, std::size_t capacity, const std::string &text)
{
    const std::size_t n = std::min(capacity - 1, text.size());
    std::memcpy(dest, text.data(), n);
    std::memset(dest + n, 0, capacity - n);
}

} // namespace

device_registry &device_registry::instance()
{
    // Never destroyed: a link object that outlives main (a static, a detached thread) may
    // still close its handle while the process exits.
    static device_registry *const registry = new device_registry(vendor_library::load(vendor_library_file));
    return *registry;
}

device_registry::device_registry(const vendor_library *vendor)
    : vendor_(vendor)
{
}

bool device_registry::addDevice(const ft60x_virtual::device_info &info,
                                std::shared_ptr<ft60x_virtual::provider> board)
{
    // The serial number must survive the round trip through the 16-byte enumeration field,
    // or the device could be listed but never opened.
    if (!board || info.serialNumber.empty() || info.serialNumber.size() > max_serial
        || info.serialNumber.find('\0') != std::string::npos)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const device_record &d : devices_)
        if (d.info.serialNumber == info.serialNumber)
            return false;
    devices_.push_back(device_record{info, std::move(board), nextLocation_++, {}, nullptr});
    return true;
}

bool device_registry::removeDevice(const std::string &serialNumber)
{
    std::shared_ptr<virtual_session> session;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(devices_.begin(), devices_.end(),
                               [&](const device_record &d) { return d.info.serialNumber == serialNumber; });
        if (it == devices_.end())
            return false;
        session = it->session.lock();
        devices_.erase(it);
    }
    // The handle stays in the table until FT_Close; its calls now report the device gone.
    if (session)
        session->remove();
    return true;
}

std::vector<std::string> device_registry::devices() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> serials;
    serials.reserve(devices_.size());
    for (const device_record &d : devices_)
        serials.push_back(d.info.serialNumber);
    return serials;
}

FT_STATUS device_registry::list(std::vector<FT_DEVICE_LIST_INFO_NODE> &nodes)
{
    nodes.clear();
    if (vendor_) {
        std::lock_guard<std::mutex> vendorLock(vendorListMutex_);
        std::uint32_t count = 0;
        if (const FT_STATUS status = vendor_->createDeviceInfoList(&count))
            return status;
        if (count > 0) {
            std::vector<FT_DEVICE_LIST_INFO_NODE> vendorNodes(count);
            if (const FT_STATUS status = vendor_->getDeviceInfoList(vendorNodes.data(), &count))
                return status;
            vendorNodes.resize(std::min<std::size_t>(count, vendorNodes.size()));
            std::lock_guard<std::mutex> lock(mutex_);
            for (FT_DEVICE_LIST_INFO_NODE &node : vendorNodes)
                node.ftHandle = node.ftHandle ? handleOfVendor(node.ftHandle) : nullptr;
            nodes = std::move(vendorNodes);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const device_record &d : devices_) {
        FT_DEVICE_LIST_INFO_NODE node{};
        const auto session = d.session.lock();
        const bool open = session && session->isOpen();
        node.Flags = FT_FLAGS_SUPERSPEED | (open ? FT_FLAGS_OPENED : 0u);
        node.Type = virtual_type;
        node.ID = virtual_id;
        node.LocId = d.locationId;
        copyText(node.SerialNumber, sizeof node.SerialNumber, d.info.serialNumber);
        copyText(node.Description, sizeof node.Description, d.info.description);
        node.ftHandle = open ? d.handle : nullptr;
        nodes.push_back(node);
    }
    return FT_OK;
}

FT_STATUS device_registry::create(const char *key, std::uint32_t flags, FT_HANDLE *handle)
{
    if (!key || !handle)
        return FT_INVALID_PARAMETER;
    if (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION)
        return vendor_ ? FT_DEVICE_NOT_FOUND : FT_NOT_SUPPORTED;
    std::shared_ptr<virtual_session> session;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(devices_.begin(), devices_.end(), [&](const device_record &d) {
            return (flags == FT_OPEN_BY_SERIAL_NUMBER ? d.info.serialNumber : d.info.description) == key;
        });
        if (it != devices_.end()) {
            const auto open = it->session.lock();
            if (open && open->isOpen())
                return FT_BUSY;
            session = std::make_shared<virtual_session>(it->board);
            it->session = session;
            it->handle = issueHandle(target{session, nullptr});
            *handle = it->handle;
        }
    }
    if (session) {
        session->attach();
        return FT_OK;
    }
    if (!vendor_)
        return FT_DEVICE_NOT_FOUND;
    FT_HANDLE vendorHandle = nullptr;
    if (const FT_STATUS status = vendor_->create(const_cast<char *>(key), flags, &vendorHandle))
        return status;
    std::lock_guard<std::mutex> lock(mutex_);
    *handle = issueHandle(target{nullptr, vendorHandle});
    return FT_OK;
}

bool device_registry::find(FT_HANDLE handle, target &out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end())
        return false;
    out = it->second;
    return true;
}

FT_STATUS device_registry::close(FT_HANDLE handle)
{
    target t;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == handles_.end())
            return FT_INVALID_HANDLE;
        t = std::move(it->second);
        handles_.erase(it);
        for (device_record &d : devices_)
            if (d.handle == handle)
                d.handle = nullptr;
    }
    if (t.session) {
        t.session->close();
        return FT_OK;
    }
    return vendor_->close(t.vendorHandle);
}

FT_HANDLE device_registry::issueHandle(const target &t)
{
    // Handles are small integers, never addresses: they cannot collide between the two kinds
    // of device, and a closed handle is never issued again.
    const std::uintptr_t value = nextHandle_++;
    handles_.emplace(value, t);
    return reinterpret_cast<FT_HANDLE>(value);
}

FT_HANDLE device_registry::handleOfVendor(FT_HANDLE vendorHandle) const
{
    for (const auto &entry : handles_)
        if (entry.second.vendorHandle == vendorHandle)
            return reinterpret_cast<FT_HANDLE>(entry.first);
    return nullptr;
}

} // namespace ft60x
