#include "tessaron/devicebackend.h"

#include "tdc/tdcbackend.h"

#include "vetra/vetra.h"

namespace tessaron {

namespace {
class TdcDeviceBackend final : public DeviceBackend {
public:
    explicit TdcDeviceBackend(const std::string &path) : m_backend(path) {}

    std::vector<DeviceDescription> devices() override { return m_backend.getDevices().first; }
    std::error_code open(const DeviceDescription &device, const DeviceDescription &options,
                         std::chrono::milliseconds timeout) override
    {
        return m_backend.open(device, options, timeout);
    }
    void loadModules() override { m_backend.loadModules(0); }
    std::vector<TessaronModule *> modules() const override { return m_backend.getModules(); }
    std::string libraryVersion() const override { return TDCBackend::version(); }
    std::string libraryBuildInfo() const override { return TDCBackend::buildInfo(); }
    std::string linkLibraryVersion() const override { return vetra::version(); }
    std::string linkLibraryBuildInfo() const override { return vetra::buildInfo(); }

private:
    TDCBackend m_backend;
};
} // namespace

std::unique_ptr<DeviceBackend> makeTdcDeviceBackend(const std::string &path)
{
    return std::make_unique<TdcDeviceBackend>(path);
}

} // namespace tessaron
