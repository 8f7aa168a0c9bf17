#pragma once
// Serial-port enumeration on Linux, split from the library class so that it can run over any
// sysfs-like tree.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace serial_enumeration {

using device_map = std::map<std::string, std::string>;

// Fills "vendorID", "productID", "deviceID" and "serialNumber" from a hardware id text of the
// form "USB VID:PID=vvvv:pppp SNR=serial".
void addHardwareIdKeys(const std::string &hardwareId, device_map &device);

// Appends one map per terminal under `ttyClass` (normally /sys/class/tty) that has real
// hardware behind it, named `deviceDir` + entry name; "/dev/ttyS" ports are skipped.
// Throws std::filesystem::filesystem_error when `ttyClass` cannot be read.
void enumerate(const std::filesystem::path &ttyClass, const std::string &deviceDir,
               const std::string &interfaceName, std::vector<device_map> &devices);

} // namespace serial_enumeration
