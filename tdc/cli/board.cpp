#include "board.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ostream>

namespace cli {

namespace {

constexpr auto openTimeout = std::chrono::milliseconds(5000);
constexpr unsigned long long maxIndex = 1000000;

bool parseIndex(const std::string &text, unsigned long long &out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char *end = nullptr;
    errno = 0;
    out = std::strtoull(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && out <= maxIndex;
}

} // namespace

bool validDeviceChoice(const std::string &text)
{
    unsigned long long index = 0;
    return text.rfind("serial:", 0) == 0 || parseIndex(text, index);
}

bool openBoard(const Global &global, TDCBackend &backend, DeviceMap &device, std::ostream &err)
{
    const std::string choice = global.device.value_or("0");
    if (choice.rfind("serial:", 0) == 0) {
        const std::string path = choice.substr(7);
        if (path.empty()) {
            err << "tdc-cli: --device serial: needs the path of a serial port\n";
            return false;
        }
        device = {{"class", "Serial"}, {"name", path}, {"serialNumber", ""}, {"description", path}};
    } else {
        unsigned long long index = 0;
        if (!parseIndex(choice, index)) {
            err << "tdc-cli: --device takes a board index or serial:PATH, not \"" << choice << "\"\n";
            return false;
        }
        const auto devices = backend.getDevices().first;
        if (devices.empty()) {
            err << "tdc-cli: no board found (set TESSARON_VIRTUAL_BOARDS=1 for a virtual one)\n";
            return false;
        }
        if (index >= devices.size()) {
            err << "tdc-cli: there is no board " << index << "; " << devices.size() << " board"
                << (devices.size() == 1 ? " is" : "s are") << " listed\n";
            return false;
        }
        device = devices[index];
    }
    DeviceMap linkOptions;
    if (global.baudrate)
        linkOptions["baudrate"] = *global.baudrate;
    if (const auto ec = backend.open(device, linkOptions, openTimeout)) {
        err << "tdc-cli: cannot open the board: " << ec.message() << "\n";
        return false;
    }
    try {
        backend.loadModules(0);
    } catch (const std::exception &e) {
        err << "tdc-cli: cannot load the board's modules: " << e.what() << "\n";
        return false;
    }
    return true;
}

} // namespace cli
