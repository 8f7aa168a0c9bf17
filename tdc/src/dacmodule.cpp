#include "tdc/dacmodule.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "dacregisters.h"
#include "log.h"
#include "tdc/tdcerror.h"
#include "tdclink.h"

namespace regs = tdcregs::dac;

DACModule::DACModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
                     std::shared_ptr<TDCLink> link, const Parameters &p)
    : TessaronModule(base, size, hw, sw), link_(std::move(link)), p_(p)
{
    p_.kinds.resize(p_.numChannels, 0);
    p_.codes.resize(p_.numChannels, 0);
}

DACModule::~DACModule() = default;

double DACModule::step() const
{
    return (p_.maxVolts - p_.minVolts) / static_cast<double>((std::uint64_t(1) << p_.resolutionBits) - 1);
}

double DACModule::voltsOf(std::uint32_t code) const
{
    return p_.minVolts + step() * code;
}

std::uint32_t DACModule::codeOf(double volts) const
{
    const double maxCode = static_cast<double>((std::uint64_t(1) << p_.resolutionBits) - 1);
    return static_cast<std::uint32_t>(std::clamp(std::round((volts - p_.minVolts) / step()), 0.0, maxCode));
}

void DACModule::noteCode(std::uint16_t channel, std::uint32_t code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    p_.codes[channel] = code;
}

double DACModule::knownVoltage(std::uint16_t channel) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return channel < p_.codes.size() ? voltsOf(p_.codes[channel]) : 0.0;
}

DACModule::OutRange DACModule::getRange(std::uint16_t channel) const
{
    if (channel >= p_.numChannels)
        return {};
    if (isFixed(channel)) {
        std::lock_guard<std::mutex> lock(mutex_);
        const double v = voltsOf(p_.codes[channel]);
        return {0, v, v};
    }
    return {p_.kinds[channel], p_.minVolts, p_.maxVolts};
}

std::pair<std::error_code, double> DACModule::getVoltage(std::uint16_t channel)
{
    if (channel >= p_.numChannels)
        return {make_error_code(tdcError::invalidArgument), 0.0};
    std::vector<std::uint32_t> w;
    if (const auto ec = link_->read(baseAddress() + regs::channel(channel, regs::chCode), 1, w)) {
        std::lock_guard<std::mutex> lock(mutex_);
        return {ec, voltsOf(p_.codes[channel])};
    }
    noteCode(channel, w[0]);
    return {std::error_code{}, voltsOf(w[0])};
}

std::error_code DACModule::setVoltage(std::uint16_t channel, double volts)
{
    if (channel >= p_.numChannels || !std::isfinite(volts))
        return make_error_code(tdcError::invalidArgument);
    if (isFixed(channel))
        return make_error_code(tdcError::fixedThreshold);
    const std::uint32_t code = codeOf(volts);
    if (const auto ec = link_->write(baseAddress() + regs::channel(channel, regs::chCode), {code})) {
        TDC_LOG(tdclog::error, "Threshold of channel " << channel << " not set: " << ec.message());
        return ec;
    }
    noteCode(channel, code);
    return {};
}

std::error_code DACModule::setVoltage(const std::vector<std::uint16_t> &channels, double volts)
{
    std::error_code first;
    for (const auto c : channels) {
        const auto ec = setVoltage(c, volts);
        if (ec && !first)
            first = ec;
    }
    return first;
}

std::error_code DACModule::setChannelStatus(const std::vector<std::uint16_t> &channels, Status input, Status output)
{
    const auto valid = [](Status s) { return s == DISABLED || s == ENABLED || s == UNCHANGED; };
    if (!valid(input) || !valid(output))
        return make_error_code(tdcError::invalidArgument);
    for (const auto c : channels)
        if (c >= p_.numChannels)
            return make_error_code(tdcError::invalidArgument);
    for (const auto c : channels) {
        const std::uint32_t address = baseAddress() + regs::channel(c, regs::chStatus);
        std::vector<std::uint32_t> w;
        if (const auto ec = link_->read(address, 1, w))
            return ec;
        std::uint32_t status = w[0];
        const auto apply = [&](Status s, std::uint32_t bit) {
            if (s == ENABLED)
                status |= bit;
            else if (s == DISABLED)
                status &= ~bit;
        };
        apply(input, regs::statusInput);
        apply(output, regs::statusOutput);
        if (status != w[0])
            if (const auto ec = link_->write(address, {status}))
                return ec;
    }
    return {};
}
