// FT60x device enumeration: one map per bridge the FT_ layer reports (vendor and virtual).

#include "enumerate_d3xx.h"

#include <vetra/d3xx_error.h>
#include <vetra/ftd3xx.h>
#include <vetra/vetra.h>

#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

namespace {

std::string hex(std::uint32_t value, int minDigits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", minDigits, static_cast<unsigned>(value));
    return text;
}

// The node's fixed-size text fields need not be terminated.
template <std::size_t N>
std::string text(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

std::string speed(std::uint32_t flags)
{
    if (flags & FT_FLAGS_SUPERSPEED)
        return "superSpeed";
    if (flags & FT_FLAGS_HISPEED)
        return "hiSpeed";
    return "fullSpeed";
}

std::string type(std::uint32_t type)
{
    if (type >= FT_DEVICE_600 && type <= FT_DEVICE_603)
        return std::to_string(type);
    return "UNDEFINED";
}

} // namespace

std::map<std::string, std::string> d3xxDeviceMap(const std::string &interfaceName,
                                                 const FT_DEVICE_LIST_INFO_NODE &node)
{
    return {
        {"class", interfaceName},
        {"description", text(node.Description)},
        {"vendorID", "0403"},
        {"deviceID", hex(node.ID, 4)},
        {"serialNumber", text(node.SerialNumber)},
        {"busy", (node.Flags & FT_FLAGS_OPENED) ? "1" : "0"},
        {"speed", speed(node.Flags)},
        {"type", type(node.Type)},
        {"locationID", hex(node.LocId, 1)},
    };
}

void vetra::getD3XXDevices(const std::string &interfaceName, device_list &devices)
{
    std::uint32_t count = 0;
    if (const FT_STATUS status = FT_CreateDeviceInfoList(&count))
        throw std::system_error(make_d3xx_error_code(status), "FT_CreateDeviceInfoList");
    if (count == 0)
        return;
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (const FT_STATUS status = FT_GetDeviceInfoList(nodes.data(), &count))
        throw std::system_error(make_d3xx_error_code(status), "FT_GetDeviceInfoList");
    nodes.resize(count < nodes.size() ? count : nodes.size());
    for (const FT_DEVICE_LIST_INFO_NODE &node : nodes)
        devices.push_back(d3xxDeviceMap(interfaceName, node));
}
