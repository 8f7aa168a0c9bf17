#include "mme/mme_simplex.h"

#include "mme/mme_status.h"
#include "pte/pte.h"

#include <asio/post.hpp>

#include <chrono>

template <int IsRead>
std::atomic<std::uint32_t> mme_simplex<IsRead>::nextId_{0};

template <int IsRead>
mme_simplex<IsRead>::mme_simplex(pte &engine, std::uint8_t stream, int timeoutMs,
                                 std::shared_ptr<range_table> ranges)
    : engine_(engine), stream_(stream), timeout_(timeoutMs), ranges_(std::move(ranges)), io_(1)
{
}

template <int IsRead>
mme_simplex<IsRead>::~mme_simplex()
{
    stop();
}

template <int IsRead>
void mme_simplex<IsRead>::start()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (started_)
            return;
        started_ = true;
    }
    std::weak_ptr<mme_simplex> weak = this->shared_from_this();
    if (IsRead)
        engine_.set_stream_layout(stream_, {3});
    engine_.set_stream_handler(
        stream_, [weak](std::uint8_t, std::vector<std::unique_ptr<std::vector<std::uint32_t>>> buffers) {
            if (auto self = weak.lock())
                self->onPacket(std::move(buffers));
        });
    work_ = std::make_unique<asio::executor_work_guard<asio::io_context::executor_type>>(
        io_.get_executor());
}

template <int IsRead>
void mme_simplex<IsRead>::stop()
{
    {
        // From here on no request starts the timer thread, so the join below is the last word.
        std::lock_guard<std::mutex> lock(mutex_);
        if (!started_)
            return;
        started_ = false;
    }
    engine_.set_stream_handler(stream_, {});
    if (IsRead)
        engine_.set_stream_layout(stream_, {});
    work_.reset();
    io_.stop();
    if (timerThread_.joinable())
        timerThread_.join(); // from the timer thread itself: std::system_error, by design
    std::unordered_map<std::uint32_t, pending> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped.swap(pending_);
    }
    // Destroying the handlers breaks the promises of futures still waiting on them.
    dropped.clear();
    // Run what the timer thread left queued (arming and cancelling of timers) so that every
    // timer is released here, while its I/O context is alive; no entry is left to expire.
    io_.restart();
    while (io_.poll() > 0) {
    }
}

template <int IsRead>
std::vector<std::uint32_t> mme_simplex<IsRead>::requestHeader(std::uint32_t id, std::uint32_t address,
                                                              std::uint32_t count,
                                                              mme_common::BurstType burst,
                                                              bool expectResponse)
{
    std::uint32_t control = count & count_mask;
    if (burst == mme_common::BurstType::FIXED)
        control |= burst_bit;
    if (expectResponse)
        control |= response_bit;
    return {id & ~unsolicited_bit, address, control};
}

template <int IsRead>
std::uint32_t mme_simplex<IsRead>::issue(std::uint32_t address, std::uint32_t count,
                                         mme_common::BurstType burst, bool expectResponse,
                                         completion_handler handler,
                                         std::shared_ptr<const std::vector<std::uint32_t>> data,
                                         mme_common::sent_handler sent)
{
    const std::uint32_t id = nextId_.fetch_add(1, std::memory_order_relaxed) & ~unsolicited_bit;
    auto header = std::make_shared<const std::vector<std::uint32_t>>(
        requestHeader(id, address, count, burst, expectResponse));

    if (expectResponse) {
        const int timeoutMs = timeout_.load();
        std::shared_ptr<asio::steady_timer> timer;
        if (timeoutMs > 0)
            timer = std::make_shared<asio::steady_timer>(io_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_[id] = pending{timer, std::move(handler), address, header->at(2) & ~response_bit};
            if (timer && started_ && !timerThread_.joinable())
                timerThread_ = std::thread([this] { io_.run(); });
        }
        // Every timer operation runs on the timer thread. If the response wins the race and
        // the entry is gone before the timer is armed, the expiry finds nothing to do.
        if (timer) {
            asio::post(io_, [this, timer, id, timeoutMs] {
                timer->expires_after(std::chrono::milliseconds(timeoutMs));
                timer->async_wait([this, id](const std::error_code &ec) {
                    if (!ec)
                        onTimeout(id);
                });
            });
        }
    }

    pte::payload_list payload;
    payload.reserve(2);
    payload.push_back(std::move(header));
    if (data)
        payload.push_back(std::move(data));
    if (!sent)
        sent = [](const std::error_code &, std::size_t) {};
    engine_.send_packet(stream_, std::move(payload), std::move(sent));
    return id;
}

template <int IsRead>
std::size_t mme_simplex<IsRead>::pendingCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
}

template <int IsRead>
void mme_simplex<IsRead>::onPacket(std::vector<std::unique_ptr<std::vector<std::uint32_t>>> buffers)
{
    std::uint32_t header[3] = {0, 0, 0};
    std::unique_ptr<std::vector<std::uint32_t>> data;
    if (IsRead) {
        // Layout {3}: the header buffer, then data and status in one buffer.
        if (buffers.empty() || !buffers[0] || buffers[0]->size() < 3) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        std::copy(buffers[0]->begin(), buffers[0]->begin() + 3, header);
        if (buffers.size() > 1 && buffers[1])
            data = std::move(buffers[1]);
        else
            data = std::make_unique<std::vector<std::uint32_t>>();
    } else {
        // No layout: header, (count), status in one buffer.
        if (buffers.empty() || !buffers[0] || buffers[0]->size() < 3) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        data = std::move(buffers[0]);
        std::copy(data->begin(), data->begin() + 3, header);
        data->erase(data->begin(), data->begin() + 3);
    }
    onResponse(header[0], header[1], header[2], std::move(data));
}

template <int IsRead>
void mme_simplex<IsRead>::onTimeout(std::uint32_t id)
{
    std::uint32_t address = 0;
    std::uint32_t control = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = pending_.find(id);
        if (it == pending_.end())
            return;
        address = it->second.address;
        control = it->second.control;
    }
    onResponse(id, address, control,
               std::make_unique<std::vector<std::uint32_t>>(1, mme_status_timed_out));
}

template <int IsRead>
void mme_simplex<IsRead>::onResponse(std::uint32_t id, std::uint32_t address, std::uint32_t control,
                                     std::unique_ptr<std::vector<std::uint32_t>> data)
{
    completion_handler handler;
    if (id & unsolicited_bit) {
        if constexpr (IsRead != 0)
            handler = ranges_->readHandlerFor(address);
        else
            handler = ranges_->writeHandlerFor(address);
    } else {
        std::shared_ptr<asio::steady_timer> timer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = pending_.find(id);
            if (it == pending_.end()) {
                // Timed out already, or never asked for.
                dropped_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            handler = std::move(it->second.handler);
            timer = std::move(it->second.timer);
            pending_.erase(it);
        }
        if (timer)
            asio::post(io_, [timer] { timer->cancel(); });
    }

    // A response too short to carry a status word cannot say that it succeeded.
    mme_error error = mme_error::unknown_error;
    if (!data->empty()) {
        error = mme_error_from_status(data->back());
        data->pop_back();
    }
    if (!handler)
        return;
    const auto burst = (control & burst_bit) ? mme_common::BurstType::FIXED
                                             : mme_common::BurstType::INCREMENTING;
    if constexpr (IsRead != 0)
        handler(address, std::move(data), burst, make_error_code(error), id);
    else
        handler(address, control & count_mask, burst, make_error_code(error), id);
}

template class mme_simplex<0>;
template class mme_simplex<1>;
