#pragma once
// The threshold DACs with the board's automatic threshold search. The search runs in the
// board's firmware: every requested channel's threshold sweeps its whole range at once while
// the board counts the channel's raw input, and each channel settles in the middle of its
// plateau, the widest range of thresholds over which the count rate stays flat. This object
// starts it, watches it and hands out the results.
//
// Threads: autoThreshold returns at once; one watcher thread of this object polls the board
// and fulfils the futures, channel by channel as they finish. Polls that time out are asked
// again; the run ends with tdcError::timeout only when the board has not answered for many
// request time-outs, or when it is well past its expected length and its channels have
// stopped moving. abortAutoThreshold may be
// called from any thread. Destroying the module stops a run: its unfinished futures end with
// std::errc::operation_canceled, and the board is told to abort.

#include "tdc/tdcexport.h"
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "tdc/dacmodule.h"

namespace tdctuning {
struct Patience;
}

class TDC_EXPORT ProgrammableThreshold : public DACModule {
public:
    // (channel, error, volts): no error and the voltage set in the plateau; tdcError::noPlateau
    // and the voltage the channel kept; tdcError::fixedThreshold; std::errc::operation_canceled
    // after an abort; or the link's error.
    using Result = std::tuple<std::uint16_t, std::error_code, double>;

    ProgrammableThreshold(std::uint32_t base, std::uint32_t size, TessaronVersion hw, TessaronVersion sw,
                          std::shared_ptr<TDCLink> link, const Parameters &p);
    ~ProgrammableThreshold() override;

    // One future per requested channel, in the order asked. A run already going makes every
    // future answer tdcError::busy.
    std::vector<std::future<Result>> autoThreshold(const std::vector<std::uint16_t> &channels);
    // True when a run was going; its unfinished channels end cancelled and keep their earlier
    // thresholds.
    bool abortAutoThreshold();
    bool autoThresholdRunning() const;

    // The plateau the last run found for a channel: its thresholds (volts) and the count
    // rate on it (events per second). tdcError::noPlateau when the last run found none.
    struct Plateau {
        double from = 0;
        double to = 0;
        double rate = 0;
    };
    std::pair<std::error_code, Plateau> getPlateau(std::uint16_t channel);

    // How the board sweeps: the number of threshold steps and the counting time of each.
    // Returns what the board applied.
    std::pair<std::error_code, std::pair<unsigned, std::chrono::microseconds>>
    setSweep(unsigned steps, std::chrono::microseconds gate);

private:
    struct Pending {
        std::uint16_t channel;
        std::promise<Result> promise;
    };

    void watch(const tdctuning::Patience &patience);
    void finishAll(std::error_code ec);

    mutable std::mutex mutex_; // everything below
    std::condition_variable wake_;
    std::vector<Pending> pending_;
    bool running_ = false;
    bool abort_ = false;
    bool stop_ = false;
    std::thread watcher_;
};
