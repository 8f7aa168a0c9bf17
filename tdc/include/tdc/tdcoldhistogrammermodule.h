#pragma once
// The histogrammer of older firmware: one start–stop histogram of 2^bin_addr_width bins
// between a reference and a measurement channel, with a bit truncation of the time stamps
// (bin width = minimum bin width × 2^bitTrunc), a time offset, counts pushed by the board
// (automatically, on request, and at the end of each window of its own time trigger) and a
// second callback for the board's running state.
//
// Getters taking `fromBoard` answer from what this object last wrote or heard when it is
// false, and read the board's register when it is true.
//
// Threads: both callbacks run on the link's receive thread. The counts callback is handed
// the library's mutex unlocked; the callee locks it while it reads the counts. No other lock
// of the library is held during either call. Blocking operations of this module called from
// inside a callback cannot complete and end with a time-out error. Destroying the module (or
// its TDCBackend) waits for a running callback to return and stops the board's histogram.

#include "tdc/tdcexport.h"
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "tdc/tdcmodule.h"
#include "tdc/tessaronmodule.h"

class TDCLink;

class TDC_EXPORT TDCOldHistogrammerModule : public TessaronModule {
public:
    static constexpr std::uint32_t TypeID = 0x0021;
    std::uint32_t typeID() const override { return TypeID; }

    using duration = std::chrono::duration<double>; // seconds
    using Callback = std::function<void(std::mutex &, const std::vector<std::uint64_t> &)>;
    using StateChangeCallback = std::function<void(bool running)>;
    using ChannelAndEdge = std::pair<std::uint16_t, TDCChannel::edgeTrigger_type>;

    struct Parameters {
        unsigned binAddrWidth = 0;
        unsigned binDataWidth = 0;
        unsigned overflowBits = 0;
        unsigned stampBits = 0;   // coarse + fine + overflow
        double minBinWidth = 0;   // seconds
        std::uint32_t numChannels = 0;
    };

    TDCOldHistogrammerModule(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
                             std::shared_ptr<TDCLink> link, const Parameters &p);
    ~TDCOldHistogrammerModule() override;

    // The module has 2^bin_addr_width bins of bin_data_width-bit counters, which saturate;
    // its time stamps carry bitOverflow bits above the coarse and fine counters.
    const unsigned bin_addr_width;
    const unsigned bin_data_width;
    const unsigned bitOverflow;

    // Each returns the callback installed before.
    Callback setCallback(Callback cb);
    StateChangeCallback setStateChangeCallback(StateChangeCallback cb);

    // Bin width and full-scale range both choose the bit truncation: the nearest power of
    // two of the minimum bin width the board has.
    std::error_code setBinW(duration binWidth);
    duration getBinW() const;
    std::error_code setFSR(duration fullScale);
    duration getFSR() const;
    std::error_code setBitTrunc(unsigned char bits);
    unsigned char getBitTrunc(bool fromBoard = false);
    unsigned maxBitTrunc() const { return p_.stampBits - p_.binAddrWidth; }
    std::error_code setTimeOffset(duration offset);
    duration getTimeOffset(bool fromBoard = false);

    // `resetBins` clears the counts after the change.
    std::error_code setRefCH(std::uint16_t channel, TDCChannel::edgeTrigger_type edge, bool resetBins = false);
    std::error_code setMeasCH(std::uint16_t channel, TDCChannel::edgeTrigger_type edge, bool resetBins = false);
    ChannelAndEdge getRefCH() const;
    ChannelAndEdge getMeasCH() const;

    std::error_code startIntegration();
    std::error_code pauseIntegration(); // keeps the counts
    std::error_code resetBinsCount();
    bool isStarted(bool fromBoard = false);

    std::error_code setAutoPush(bool enabled);
    std::error_code forcePush();
    // Arms the board's time trigger: the next window (or the one beginning now, when the
    // histogram runs) starts from empty bins and ends after `window`; the board then pushes
    // the counts and reports the stop through the state-change callback.
    std::error_code setTimeTrig(duration window);
    std::error_code disableTimeTrig();

    double minBinWidth() const { return p_.minBinWidth; }
    std::uint32_t numChannels() const { return p_.numChannels; }

private:
    std::error_code writeControl(std::uint32_t bits, bool on);
    std::error_code setChannel(std::uint32_t reg, std::uint16_t channel, TDCChannel::edgeTrigger_type edge,
                               bool resetBins, ChannelAndEdge &cache);

    struct State;
    std::shared_ptr<State> state_;
    Parameters p_;
};
