// Serial enumeration over a sysfs-like tree, and the hardware-id key rules.

#include "transport/enumerate_serial.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using serial_enumeration::device_map;

TEST(serial_enumeration, HardwareIdKeys)
{
    device_map usb;
    serial_enumeration::addHardwareIdKeys("USB VID:PID=0403:6015 SNR=AB12", usb);
    EXPECT_EQ(usb, (device_map{{"vendorID", "0403"}, {"productID", "6015"}, {"serialNumber", "AB12"}}));

    device_map trailing;
    serial_enumeration::addHardwareIdKeys("USB VID:PID=10c4:ea60 SNR=0001 LOCATION=1-1", trailing);
    EXPECT_EQ(trailing.at("serialNumber"), "0001");

    device_map plain;
    serial_enumeration::addHardwareIdKeys("ACPI\\PNP0501", plain);
    EXPECT_EQ(plain, (device_map{{"vendorID", ""}, {"deviceID", ""}, {"serialNumber", ""}}));
    EXPECT_EQ(plain.count("productID"), 0u);

    device_map cut;
    serial_enumeration::addHardwareIdKeys("USB VID:PID=04", cut);
    EXPECT_EQ(cut.at("vendorID"), "04");
    EXPECT_EQ(cut.at("productID"), "");
}

class fake_sysfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vetra-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root / "class/tty");
    }
    void TearDown() override { fs::remove_all(root); }

    void write(const fs::path &file, const std::string &text)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A terminal entry whose `device` link points at `deviceDir` (none when empty).
    void terminal(const std::string &name, const fs::path &deviceDir)
    {
        fs::create_directories(root / "class/tty" / name);
        if (!deviceDir.empty()) {
            fs::create_directories(deviceDir);
            fs::create_directory_symlink(deviceDir, root / "class/tty" / name / "device");
        }
    }

    fs::path root;
};

TEST_F(fake_sysfs, ListsHardwarePortsWithTheirUsbAttributes)
{
    const fs::path usb = root / "devices/usb1/1-1";
    write(usb / "idVendor", "0403");
    write(usb / "idProduct", "6015");
    write(usb / "serial", "DN05XYZ");
    write(usb / "product", "FT230X Basic UART");
    terminal("ttyUSB0", usb / "1-1:1.0");
    const fs::path acm = root / "devices/usb1/1-2";
    write(acm / "idVendor", "2e8a");
    write(acm / "idProduct", "000a");
    terminal("ttyACM0", acm / "1-2:1.0");
    terminal("ttyS0", root / "devices/pnp0/00:00");  // skipped by name
    terminal("ttyAMA0", root / "devices/platform/uart0"); // hardware, but not USB
    terminal("tty1", {});                                // virtual: no device
    terminal("ptmx", {});

    std::vector<device_map> devices;
    serial_enumeration::enumerate(root / "class/tty", "/dev/", "Serial", devices);
    ASSERT_EQ(devices.size(), 3u);

    EXPECT_EQ(devices[0].at("name"), "/dev/ttyACM0");
    EXPECT_EQ(devices[0].at("vendorID"), "2e8a");
    EXPECT_EQ(devices[0].at("productID"), "000a");
    EXPECT_EQ(devices[0].at("serialNumber"), "");

    EXPECT_EQ(devices[1].at("name"), "/dev/ttyAMA0");
    EXPECT_EQ(devices[1].at("vendorID"), "");
    EXPECT_EQ(devices[1].at("deviceID"), "");
    EXPECT_EQ(devices[1].count("productID"), 0u);

    EXPECT_EQ(devices[2].at("class"), "Serial");
    EXPECT_EQ(devices[2].at("name"), "/dev/ttyUSB0");
    EXPECT_EQ(devices[2].at("description"), "FT230X Basic UART (ttyUSB0)");
    EXPECT_EQ(devices[2].at("vendorID"), "0403");
    EXPECT_EQ(devices[2].at("productID"), "6015");
    EXPECT_EQ(devices[2].at("serialNumber"), "DN05XYZ");
}

TEST_F(fake_sysfs, UnreadableClassFolderThrows)
{
    std::vector<device_map> devices;
    EXPECT_THROW(serial_enumeration::enumerate(root / "missing", "/dev/", "Serial", devices), fs::filesystem_error);
    EXPECT_TRUE(devices.empty());
}

} // namespace
