#pragma once
// One one-way half of the memory engine: mme_simplex<1> issues reads, mme_simplex<0> writes.
// Each half is bound to one stream of the packet engine, keeps the transactions that wait for
// a response (matched by id, not by order, so any number may be pending) and runs their
// time-outs on a timer thread of its own, started by the first request that has a time-out.
//
// Ownership: created and stopped by `mme`; held by shared pointer so that a response being
// handled on the transport's thread while the engine is torn down still finds it alive.
// Threads: requests from any thread; responses on the transport's completion thread;
// time-outs on the half's timer thread. Handlers run with no mutex held.

#include "mme/range_table.h"

#include <vetra/mme_defs.h>
#include <vetra/mme_error.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <vector>

class pte;

template <int IsRead>
class mme_simplex : public std::enable_shared_from_this<mme_simplex<IsRead>> {
public:
    using completion_handler =
        std::conditional_t<IsRead != 0, mme_common::read_handler, mme_common::write_handler>;

    static constexpr std::uint32_t count_mask = 0x1FFFFF;
    static constexpr std::uint32_t burst_bit = 1u << 24;
    static constexpr std::uint32_t response_bit = 1u << 25;
    static constexpr std::uint32_t unsolicited_bit = 1u << 31;

    mme_simplex(pte &engine, std::uint8_t stream, int timeoutMs, std::shared_ptr<range_table> ranges);
    ~mme_simplex();
    mme_simplex(const mme_simplex &) = delete;
    mme_simplex &operator=(const mme_simplex &) = delete;

    // Registers the half's stream with the packet engine. The timer thread waits for the
    // first request with a time-out: a half used without time-outs never needs one.
    void start();
    // Unregisters the stream, stops and joins the timer thread and drops every pending
    // transaction without calling its handler (futures waiting on them are broken).
    void stop();

    // Issues one request and returns its id. `expectResponse` false sends the request without
    // bit 25 and keeps nothing pending (writes only). `data` is null for reads.
    std::uint32_t issue(std::uint32_t address, std::uint32_t count, mme_common::BurstType burst,
                        bool expectResponse, completion_handler handler,
                        std::shared_ptr<const std::vector<std::uint32_t>> data,
                        mme_common::sent_handler sent);

    void setTimeout(int milliseconds) noexcept { timeout_.store(milliseconds); }
    int timeout() const noexcept { return timeout_.load(); }

    // The number of transactions waiting for a response.
    std::size_t pendingCount() const;
    // Responses dropped since start: too short to carry a header, or matching no pending
    // transaction (timed out already, or never asked for).
    std::uint64_t droppedCount() const noexcept { return dropped_.load(std::memory_order_relaxed); }

    // The request header words {id, address, control}.
    static std::vector<std::uint32_t> requestHeader(std::uint32_t id, std::uint32_t address,
                                                    std::uint32_t count, mme_common::BurstType burst,
                                                    bool expectResponse);

private:
    struct pending {
        std::shared_ptr<asio::steady_timer> timer; // null without a time-out
        completion_handler handler;
        std::uint32_t address;
        std::uint32_t control;
    };

    void onPacket(std::vector<std::unique_ptr<std::vector<std::uint32_t>>> buffers);
    void onTimeout(std::uint32_t id);
    // `data` holds the data words (reads) followed by the status word; it may be empty when a
    // malformed response carried no status.
    void onResponse(std::uint32_t id, std::uint32_t address, std::uint32_t control,
                    std::unique_ptr<std::vector<std::uint32_t>> data);

    pte &engine_;
    const std::uint8_t stream_;
    std::atomic<int> timeout_;
    const std::shared_ptr<range_table> ranges_;

    // Declared before the pending list: timers must go before their I/O context.
    asio::io_context io_;

    mutable std::mutex mutex_;
    std::unordered_map<std::uint32_t, pending> pending_;

    std::unique_ptr<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread timerThread_; // started under `mutex_`, and only while `started_`
    bool started_ = false;    // written under `mutex_`
    std::atomic<std::uint64_t> dropped_{0};

    // Process-wide id source of this direction, shared by every engine.
    static std::atomic<std::uint32_t> nextId_;
};

extern template class mme_simplex<0>;
extern template class mme_simplex<1>;
