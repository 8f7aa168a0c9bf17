#pragma once
// The library's link to one board: vetra opened on the board's memory streams, with blocking
// reads and writes bounded by the request time-out and every failure turned into a tdcError.
//
// Ownership: shared by TDCBackend and its module objects; TDCBackend closes it after it has
// destroyed the modules. Threads: read, write and the range calls may come from any thread;
// open and close from the owner only, never from a callback.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include <vetra/vetra.h>

class TDCLink {
public:
    using DeviceMap = std::map<std::string, std::string>;

    TDCLink();
    ~TDCLink();
    TDCLink(const TDCLink &) = delete;
    TDCLink &operator=(const TDCLink &) = delete;

    std::error_code open(const DeviceMap &device, const DeviceMap &options,
                         std::chrono::milliseconds requestTimeout);
    void close();
    // False after close and once the board has gone away.
    bool isOpen();

    std::error_code read(std::uint32_t address, std::uint32_t count, std::vector<std::uint32_t> &out);
    std::error_code write(std::uint32_t address, std::vector<std::uint32_t> data);
    // Fire and forget: no response is asked for, so a silent board costs no time.
    std::error_code post(std::uint32_t address, std::vector<std::uint32_t> data);

    std::error_code setRange(std::uint32_t first, std::uint32_t last, vetra::read_handler handler);
    // Unsolicited messages of [first, last] go to `state->deliver(words)` for as long as the
    // module's state lives; the link holds it weakly, so a module that is gone gets nothing.
    template <class State>
    std::error_code deliverRangeTo(std::uint32_t first, std::uint32_t last, std::weak_ptr<State> weak)
    {
        return setRange(first, last,
                        [weak](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>> data,
                               mme_common::BurstType, std::error_code ec, std::uint32_t) {
                            const auto state = weak.lock();
                            if (!state || ec || !data)
                                return;
                            state->deliver(*data);
                        });
    }
    void deleteRange(std::uint32_t first);
    // Raw packets of `stream` go to `callback` on the receive thread; an empty one stops them.
    std::error_code setStreamCallback(std::uint8_t stream, vetra::stream_callback callback);

    std::chrono::milliseconds requestTimeout() const { return timeout_; }
    // Damaged packets the board sent (bad CRC, broken encoding, too short) since construction;
    // each is logged as a warning and dropped.
    std::uint64_t linkErrors() const { return linkErrors_.load(); }
    void setRequestTimeout(std::chrono::milliseconds t);

private:
    // Writes posted and not yet on the wire. Closing waits a little for them, so the last
    // word a module sends on its way out (a stop) reaches the board instead of being dropped
    // with the link's queue.
    struct Posted {
        std::mutex mutex;
        std::condition_variable done;
        std::size_t inFlight = 0;
    };

    std::error_code lostLink();
    void onLinkError(const std::error_code &ec);
    void waitForPosted();

    vetra link_;
    std::shared_ptr<Posted> posted_ = std::make_shared<Posted>();
    std::atomic<bool> open_{false};
    std::atomic<bool> lost_{false};
    std::atomic<std::uint64_t> linkErrors_{0};
    std::chrono::milliseconds timeout_{500};
};
