#pragma once
// The memory engine: word-burst reads and writes in the board's address space over two
// streams of the packet engine (a read half and a write half), with per-request time-outs,
// futures, and a table of address-range handlers for responses nobody waits for and for
// messages the board pushes on its own.
//
// Ownership: owned by the library object while the link is open; the packet engine it uses
// must outlive it. Destruction drops pending transactions without calling their handlers.
// Threads: see mme_simplex.h.

#include "mme/mme_simplex.h"
#include "mme/range_table.h"

#include <vetra/mme_defs.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class pte;

class mme {
public:
    using read_result = std::pair<std::error_code, std::unique_ptr<std::vector<std::uint32_t>>>;
    using read_future = mme_defs::future<read_result, mme_defs::device_disconnected>;
    using write_future = mme_defs::future<std::error_code, mme_defs::device_disconnected>;
    using data_ptr = std::shared_ptr<const std::vector<std::uint32_t>>;

    mme(pte &engine, std::uint8_t readStream, std::uint8_t writeStream,
        std::chrono::milliseconds timeout = std::chrono::milliseconds(100),
        mme_common::read_handler defaultRead = {}, mme_common::write_handler defaultWrite = {});
    ~mme();
    mme(const mme &) = delete;
    mme &operator=(const mme &) = delete;

    // All forms throw std::invalid_argument for zero words and return the transaction id.
    std::uint32_t read(std::uint32_t address, std::uint32_t count, mme_common::BurstType burst,
                       mme_common::read_handler handler, mme_common::sent_handler sent);
    std::uint32_t read(std::uint32_t address, std::uint32_t count, mme_common::BurstType burst,
                       mme_common::sent_handler sent);
    read_future readFuture(std::uint32_t address, std::uint32_t count, mme_common::BurstType burst,
                           mme_common::sent_handler sent);

    // An empty handler requests no response.
    std::uint32_t write(std::uint32_t address, data_ptr data, mme_common::BurstType burst,
                        mme_common::write_handler handler, mme_common::sent_handler sent);
    std::uint32_t write(std::uint32_t address, data_ptr data, mme_common::BurstType burst,
                        mme_common::sent_handler sent);
    write_future writeFuture(std::uint32_t address, data_ptr data, mme_common::BurstType burst,
                             mme_common::sent_handler sent);

    bool setRangeHandlers(std::uint32_t first, std::uint32_t last, mme_common::read_handler readHandler,
                          mme_common::write_handler writeHandler);
    bool deleteRangeHandlers(std::uint32_t first);

    void setTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds timeout() const;

    std::size_t pendingReads() const { return reads_->pendingCount(); }
    std::size_t pendingWrites() const { return writes_->pendingCount(); }
    // Responses of either half dropped because they matched nothing (see mme_simplex).
    std::uint64_t droppedResponses() const { return reads_->droppedCount() + writes_->droppedCount(); }

private:
    static void requireWords(std::uint32_t count);
    static std::uint32_t wordsOf(const data_ptr &data);
    static int toMilliseconds(std::chrono::milliseconds timeout);

    std::shared_ptr<range_table> ranges_;
    std::shared_ptr<mme_simplex<1>> reads_;
    std::shared_ptr<mme_simplex<0>> writes_;
};
