#include "transport/enumerate_serial.h"

#include <vetra/vetra.h>

#include <algorithm>
#include <fstream>
#include <system_error>

namespace serial_enumeration {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, at most 255 characters; empty when absent.
std::string readAttribute(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    if (line.size() > 255)
        line.resize(255);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The USB device (the directory with idVendor and idProduct) that a terminal's hardware
// belongs to, found by walking up from its device directory; empty when it is not USB.
fs::path usbDeviceOf(const fs::path &deviceDir)
{
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec)
        return {};
    for (int depth = 0; depth < 8 && !dir.empty() && dir != dir.root_path(); ++depth) {
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec))
            return dir;
        dir = dir.parent_path();
    }
    return {};
}

} // namespace

void addHardwareIdKeys(const std::string &hardwareId, device_map &device)
{
    const auto marker = hardwareId.find("VID:PID");
    if (marker != std::string::npos) {
        device["vendorID"] = marker + 8 <= hardwareId.size() ? hardwareId.substr(marker + 8, 4) : std::string();
        device["productID"] =
            marker + 13 <= hardwareId.size() ? hardwareId.substr(marker + 13, 4) : std::string();
    } else {
        device["vendorID"] = "";
        device["deviceID"] = "";
    }
    const auto snr = hardwareId.find("SNR");
    if (snr != std::string::npos && snr + 4 <= hardwareId.size()) {
        const auto start = snr + 4;
        const auto blank = hardwareId.find(' ', start);
        device["serialNumber"] = hardwareId.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
    } else {
        device["serialNumber"] = "";
    }
}

void enumerate(const fs::path &ttyClass, const std::string &deviceDir, const std::string &interfaceName,
               std::vector<device_map> &devices)
{
    std::vector<fs::path> entries;
    for (const auto &entry : fs::directory_iterator(ttyClass))
        entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());

    for (const auto &entry : entries) {
        const std::string name = deviceDir + entry.filename().string();
        if (name.rfind("/dev/ttyS", 0) == 0)
            continue;
        // Virtual terminals, pseudo-terminals and the console have no device behind them.
        std::error_code ec;
        if (!fs::exists(entry / "device", ec))
            continue;

        std::string hardwareId;
        std::string product;
        const fs::path usb = usbDeviceOf(entry / "device");
        if (!usb.empty()) {
            hardwareId = "USB VID:PID=" + readAttribute(usb / "idVendor") + ":" + readAttribute(usb / "idProduct");
            const std::string serial = readAttribute(usb / "serial");
            if (!serial.empty())
                hardwareId += " SNR=" + serial;
            product = readAttribute(usb / "product");
        }

        device_map device;
        device["class"] = interfaceName;
        device["name"] = name;
        device["description"] =
            (product.empty() ? std::string("Serial port") : product) + " (" + entry.filename().string() + ")";
        addHardwareIdKeys(hardwareId, device);
        devices.push_back(std::move(device));
    }
}

} // namespace serial_enumeration

void vetra::getSerialDevices(const std::string &interfaceName, device_list &devices)
{
    serial_enumeration::enumerate("/sys/class/tty", "/dev/", interfaceName, devices);
}
