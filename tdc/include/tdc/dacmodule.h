#pragma once
// The board's threshold DACs: per channel a comparator threshold voltage, quantised to the
// DAC's resolution over its range, and a switch for the channel's input. A channel of kind 0
// has a fixed threshold (the sync input).
//
// Threads: every call blocks on the board and may come from any thread; calls are not
// serialised against each other beyond what the link does.

#include "tdc/tdcexport.h"
#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "tdc/tessaronmodule.h"

class TDCLink;

class TDC_EXPORT DACModule : public TessaronModule {
public:
    static constexpr std::uint32_t TypeID = 0x0040;
    std::uint32_t typeID() const override { return TypeID; }

    // UNCHANGED leaves that part of a channel as it is.
    enum Status : int { DISABLED = 0, ENABLED = 1, UNCHANGED = -1 };

    struct OutRange {
        int kind = -1;      // 0 fixed threshold, 1 programmable, -1 no such channel
        double min = 0;     // volts; a fixed channel's range is its one voltage
        double max = 0;
    };

    struct Parameters {
        std::uint32_t numChannels = 0; // sync included
        unsigned resolutionBits = 0;
        double minVolts = 0;
        double maxVolts = 0;
        std::vector<int> kinds;              // per channel
        std::vector<std::uint32_t> codes;    // per channel, as read at creation
    };

    DACModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
              std::shared_ptr<TDCLink> link, const Parameters &p);
    ~DACModule() override;

    std::uint32_t numChannels() const { return p_.numChannels; }
    unsigned resolutionBits() const { return p_.resolutionBits; }
    // Volts per DAC code.
    double step() const;

    OutRange getRange(std::uint16_t channel) const;
    // The threshold the board applies. On failure the error and the last voltage known.
    std::pair<std::error_code, double> getVoltage(std::uint16_t channel);
    // A voltage outside the channel's range is clamped to it, and every voltage is rounded
    // to the nearest DAC code; getVoltage tells what was applied. A fixed channel answers
    // tdcError::fixedThreshold; a list sets every other channel of it all the same.
    std::error_code setVoltage(std::uint16_t channel, double volts);
    std::error_code setVoltage(const std::vector<std::uint16_t> &channels, double volts);
    // `input` switches the channel's events on or off, `output` the DAC's output (off puts the
    // comparator's threshold at 0 V).
    std::error_code setChannelStatus(const std::vector<std::uint16_t> &channels, Status input,
                                     Status output = UNCHANGED);

protected:
    std::shared_ptr<TDCLink> link() const { return link_; }
    double voltsOf(std::uint32_t code) const;
    std::uint32_t codeOf(double volts) const;
    bool isFixed(std::uint16_t channel) const { return p_.kinds[channel] == 0; }
    // Remembers a code read from the board.
    void noteCode(std::uint16_t channel, std::uint32_t code);
    // The voltage of the code last read or written, without asking the board.
    double knownVoltage(std::uint16_t channel) const;

private:
    std::shared_ptr<TDCLink> link_;
    Parameters p_;
    mutable std::mutex mutex_; // p_.codes
};
