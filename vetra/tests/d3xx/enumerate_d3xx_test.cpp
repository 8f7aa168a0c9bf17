// Device maps of FT60x bridges: the node fields turned into the keys the library lists.

#include "echo_provider.h"

#include "transport/enumerate_d3xx.h"

#include <vetra/vetra.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

FT_DEVICE_LIST_INFO_NODE node(uint32_t flags, uint32_t type, uint32_t id, uint32_t location)
{
    FT_DEVICE_LIST_INFO_NODE n{};
    n.Flags = flags;
    n.Type = type;
    n.ID = id;
    n.LocId = location;
    return n;
}

// Reaches the protected enumeration the way the library class itself calls it.
struct lister : vetra {
    static device_list d3xx()
    {
        device_list devices;
        getD3XXDevices(IFd3xxName, devices);
        return devices;
    }
};

} // namespace

TEST(EnumerateD3xx, NodeFieldsBecomeTheListedKeys)
{
    FT_DEVICE_LIST_INFO_NODE n = node(FT_FLAGS_OPENED | FT_FLAGS_HISPEED, 600, 0x0403601F, 0x2A);
    std::strcpy(n.SerialNumber, "FT0001");
    std::strcpy(n.Description, "FTDI SuperSpeed-FIFO Bridge");
    const auto map = d3xxDeviceMap("D3XX", n);
    const std::map<std::string, std::string> expected{
        {"class", "D3XX"},          {"description", "FTDI SuperSpeed-FIFO Bridge"},
        {"vendorID", "0403"},       {"deviceID", "403601f"},
        {"serialNumber", "FT0001"}, {"busy", "1"},
        {"speed", "hiSpeed"},       {"type", "600"},
        {"locationID", "2a"},
    };
    EXPECT_EQ(map, expected);
}

TEST(EnumerateD3xx, TypeSpeedAndPaddingRules)
{
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(0, 604, 0, 0)).at("type"), "UNDEFINED");
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(0, 599, 0, 0)).at("type"), "UNDEFINED");
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(0, 603, 0, 0)).at("type"), "603");
    // The super-speed bit wins over the high-speed bit; neither means full speed.
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(FT_FLAGS_SUPERSPEED | FT_FLAGS_HISPEED, 601, 0, 0)).at("speed"),
              "superSpeed");
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(FT_FLAGS_OPENED, 601, 0, 0)).at("speed"), "fullSpeed");
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(0, 601, 0xA, 0)).at("deviceID"), "000a");
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(0, 601, 0, 0)).at("busy"), "0");
    EXPECT_EQ(d3xxDeviceMap("D3XX", node(0, 601, 0, 0)).at("locationID"), "0");

    // Text fields filled to the last byte, without a terminator, are still read safely.
    FT_DEVICE_LIST_INFO_NODE full = node(0, 601, 0, 0);
    std::memset(full.SerialNumber, 'S', sizeof full.SerialNumber);
    std::memset(full.Description, 'D', sizeof full.Description);
    const auto map = d3xxDeviceMap("D3XX", full);
    EXPECT_EQ(map.at("serialNumber"), std::string(16, 'S'));
    EXPECT_EQ(map.at("description"), std::string(32, 'D'));
}

TEST(EnumerateD3xx, VirtualBridgesAreListedWithTheirState)
{
    EXPECT_TRUE(lister::d3xx().empty());
    auto board = std::make_shared<echo_provider>();
    scoped_device dev("LIST-1", board, "Virtual Kestrane (virtual)");
    auto devices = lister::d3xx();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].at("class"), "D3XX");
    EXPECT_EQ(devices[0].at("serialNumber"), "LIST-1");
    EXPECT_EQ(devices[0].at("description"), "Virtual Kestrane (virtual)");
    EXPECT_EQ(devices[0].at("speed"), "superSpeed");
    EXPECT_EQ(devices[0].at("type"), "601");
    EXPECT_EQ(devices[0].at("busy"), "0");

    // Opened through the library class, the bridge is listed as busy.
    vetra link;
    ASSERT_FALSE(link.open(devices[0], {}, 1, 2));
    devices = lister::d3xx();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].at("busy"), "1");
    link.close();
    EXPECT_EQ(lister::d3xx().at(0).at("busy"), "0");
}
