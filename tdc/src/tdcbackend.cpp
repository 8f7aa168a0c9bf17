#include "tdc/tdcbackend.h"

#include <stdexcept>
#include <thread>

#include <vetra/vetra.h>

#include "log.h"
#include "modulefactory.h"
#include "moduletable.h"
#include "registers.h"
#include "tdc/tdcerror.h"
#include "tdc_build_info.h"
#include "tdclink.h"
#include "virtualboards.h"

namespace {

// A Kestrane board has the sync channel and eight inputs unless it says otherwise.
constexpr const char *defaultChannelCount = "9";

// Bounds of the time-out of each memory request, derived from the time-out given to open:
// long enough for a loaded machine, short enough that a silent board is noticed.
constexpr std::chrono::milliseconds minRequestTimeout{100};
constexpr std::chrono::milliseconds maxRequestTimeout{1000};

} // namespace

struct TDCBackend::Impl {
    std::string path;
    std::shared_ptr<TDCLink> link;
    std::vector<std::unique_ptr<TessaronModule>> modules;

    void dropModules()
    {
        // Module destructors stop their callbacks; they need the link, so it closes after.
        modules.clear();
    }
};

TDCBackend::TDCBackend(std::string path) : d_(std::make_unique<Impl>())
{
    d_->path = std::move(path);
}

TDCBackend::~TDCBackend()
{
    close();
}

std::pair<std::vector<DeviceMap>, std::vector<std::string>> TDCBackend::getDevices()
{
    ensureVirtualBoards();
    vetra enumerator;
    auto result = enumerator.getDevices();
    std::vector<DeviceMap> devices(result.first.begin(), result.first.end());
    for (auto &device : devices) {
        if (device.count("numCH"))
            continue;
        const auto serial = device.find("serialNumber");
        if (serial != device.end() && isVirtualBoardSerial(serial->second) && virtualBoardChannels() > 0)
            device["numCH"] = std::to_string(virtualBoardChannels());
        else
            device["numCH"] = defaultChannelCount;
    }
    return {std::move(devices), std::move(result.second)};
}

std::error_code TDCBackend::open(const DeviceMap &device, const DeviceMap &options,
                                 std::chrono::milliseconds timeout)
{
    close();
    if (timeout.count() <= 0)
        return make_error_code(tdcError::invalidArgument);
    ensureVirtualBoards();

    const auto requestTimeout = std::clamp(timeout / 10, minRequestTimeout, maxRequestTimeout);
    auto link = std::make_shared<TDCLink>();
    if (const auto ec = link->open(device, options, requestTimeout)) {
        TDC_LOG(tdclog::error, "Cannot open the board: " << ec.message());
        return ec;
    }

    // The link is up; the board counts as open once it answers. A board may need a moment
    // after the port opens, so ask again until the time-out is spent.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::error_code ec;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds(0)) {
            ec = make_error_code(tdcError::timeout);
            break;
        }
        link->setRequestTimeout(std::min(requestTimeout, std::max(left, std::chrono::milliseconds(1))));
        std::vector<std::uint32_t> magic;
        ec = link->read(tdcregs::table::address, 1, magic);
        if (!ec) {
            if (magic[0] != tdcregs::table::magic)
                ec = make_error_code(tdcError::badResponse);
            break;
        }
        if (ec != make_error_code(tdcError::timeout))
            break;
    }
    if (ec) {
        TDC_LOG(tdclog::error, "The board does not answer as a Kestrane board: " << ec.message());
        link->close();
        return ec;
    }
    link->setRequestTimeout(requestTimeout);
    d_->link = std::move(link);
    TDC_LOG(tdclog::info, "Board opened");
    return {};
}

void TDCBackend::close()
{
    d_->dropModules();
    if (d_->link) {
        d_->link->close();
        d_->link.reset();
        TDC_LOG(tdclog::info, "Board closed");
    }
}

bool TDCBackend::isOpen() const
{
    return d_->link && d_->link->isOpen();
}

void TDCBackend::loadModules(int)
{
    d_->dropModules();
    if (!d_->link)
        throw std::runtime_error("Cannot load modules: no board is open");
    if (!d_->link->isOpen())
        throw std::runtime_error("Cannot load modules: the board has been disconnected");

    const auto entries = readModuleTable(*d_->link);
    std::vector<std::unique_ptr<TessaronModule>> modules;
    const auto &factory = ModuleFactory::standard();
    for (const auto &entry : entries) {
        auto module = factory.create(entry, d_->link);
        if (!module) {
            TDC_LOG(tdclog::info, "Skipping module of unknown type 0x" << std::hex << entry.typeID << " at 0x"
                                                                        << entry.base);
            continue;
        }
        modules.push_back(std::move(module));
    }
    d_->modules = std::move(modules);
    TDC_LOG(tdclog::info, "Loaded " << d_->modules.size() << " modules");
}

std::vector<TessaronModule *> TDCBackend::getModules() const
{
    std::vector<TessaronModule *> out;
    out.reserve(d_->modules.size());
    for (const auto &m : d_->modules)
        out.push_back(m.get());
    return out;
}

std::string TDCBackend::version()
{
    return TDC_VERSION;
}

std::string TDCBackend::buildInfo()
{
    return std::string("Version v") + TDC_VERSION + " built by " + TDC_BUILD_HOST + " at " + TDC_BUILD_TIME;
}
