#include "tdc/tdcmodule.h"

#include <stdexcept>

#include "modulefactory.h"
#include "registers.h"
#include "tdclink.h"

TDCModule::TDCModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
                     const Parameters &p)
    : TessaronModule(base, size, hw, sw), p_(p)
{
    channels_.reserve(p_.numChannels);
    for (std::uint32_t c = 0; c < p_.numChannels; ++c)
        channels_.emplace_back(c < p_.channelPeriods.size() ? p_.channelPeriods[c] : 0);
}

std::unique_ptr<TessaronModule> createTdcModule(const ModuleEntry &e, const std::shared_ptr<TDCLink> &link)
{
    using namespace tdcregs::channels;
    const auto head = readModuleRegisters(*link, e, "TDC module", count, headerWords);
    TDCModule::Parameters p;
    p.numChannels = head[0];
    p.coarseBits = head[1];
    p.fineBits = head[2];
    p.tdcPeriod = head[3] * 1e-15;
    p.minBinWidth = head[4] * 1e-15;
    if (p.numChannels == 0 || p.numChannels > maxChannels)
        throw std::runtime_error("The TDC module reports " + std::to_string(p.numChannels) + " channels");
    if (p.coarseBits == 0 || p.coarseBits > 64 || p.fineBits == 0 || p.fineBits > 64)
        throw std::runtime_error("The TDC module reports counter widths of " + std::to_string(p.coarseBits) +
                                 " and " + std::to_string(p.fineBits) + " bits");
    if (head[3] == 0 || head[4] == 0)
        throw std::runtime_error("The TDC module reports a TDC period or bin width of zero");
    const auto periods = readModuleRegisters(*link, e, "TDC module", tdcregs::channels::periods,
                                             2 * p.numChannels);
    for (std::uint32_t c = 0; c < p.numChannels; ++c)
        p.channelPeriods.push_back(periods[2 * c] | (std::uint64_t(periods[2 * c + 1]) << 32));
    return std::make_unique<TDCModule>(e.base, e.size, e.hw, e.sw, p);
}
