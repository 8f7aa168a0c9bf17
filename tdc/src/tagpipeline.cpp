#include "tagpipeline.h"

#include "log.h"
#include "tagdecoder.h"

namespace {
thread_local const std::vector<Dorrin::loss> *currentLosses = nullptr;
} // namespace

void setLossesBeforeBatch(const std::vector<Dorrin::loss> *losses) { currentLosses = losses; }

const std::vector<Dorrin::loss> &Dorrin::losses_before_batch()
{
    static const std::vector<Dorrin::loss> none;
    return currentLosses ? *currentLosses : none;
}

TagPipeline::TagPipeline(Dorrin::Callback callback, std::size_t batchTags, std::size_t queuePackets)
    : callback_(std::move(callback)),
      batchTags_(batchTags ? batchTags : defaultBatchTags),
      queuePackets_(queuePackets ? queuePackets : defaultQueuePackets)
{
    for (auto &l : lost_)
        l.store(0);
    worker_ = std::thread([this] { run(); });
}

TagPipeline::~TagPipeline()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    // Nothing leaves unaccounted for.
    for (const auto &packet : queue_) {
        std::array<std::uint64_t, maxChannels> tags{};
        std::array<std::uint64_t, maxChannels> board{};
        std::uint64_t first = 0;
        tagwire::count(packet->data(), packet->size(), tags.data(), board.data(), first);
        for (std::size_t c = 0; c < maxChannels; ++c)
            lost_[c].fetch_add(tags[c] + board[c]);
    }
    handled_.notify_all();
}

std::uint64_t TagPipeline::lost() const
{
    std::uint64_t sum = 0;
    for (const auto &l : lost_)
        sum += l.load();
    return sum;
}

std::uint64_t TagPipeline::lost(std::uint8_t channel) const
{
    return channel < maxChannels ? lost_[channel].load() : 0;
}

std::uint64_t TagPipeline::arrived() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pushed_;
}

void TagPipeline::addLoss(const Dorrin::loss &l, bool board)
{
    lost_[l.channel % maxChannels].fetch_add(l.count);
    (void)board;
}

void TagPipeline::push(std::unique_ptr<std::vector<std::uint32_t>> packet)
{
    if (!packet || packet->empty())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++pushed_;
        if (!stop_ && !closed_ && queue_.size() < queuePackets_) {
            queue_.push_back(std::move(packet));
            wake_.notify_one();
            return;
        }
        ++done_;
    }
    // The consumer is behind: this packet goes, and the losses it reports are noted.
    std::array<std::uint64_t, maxChannels> tags{};
    std::array<std::uint64_t, maxChannels> board{};
    std::uint64_t first = 0;
    tagwire::count(packet->data(), packet->size(), tags.data(), board.data(), first);
    std::vector<Dorrin::loss> dropped;
    for (std::size_t c = 0; c < maxChannels; ++c)
        if (tags[c] + board[c]) {
            lost_[c].fetch_add(tags[c] + board[c]);
            dropped.push_back({static_cast<std::uint8_t>(c), tags[c] + board[c], first});
        }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pendingLosses_.insert(pendingLosses_.end(), dropped.begin(), dropped.end());
    }
    wake_.notify_one();
}

void TagPipeline::close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
}

bool TagPipeline::waitEmpty(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t target = pushed_;
    // Losses not yet reported to the callback count as queued.
    const auto ready = [&] {
        return (done_ >= target && pendingLosses_.empty() && !delivering_) || (stop_ && queue_.empty());
    };
    if (timeout.count() <= 0) {
        handled_.wait(lock, ready);
        return true;
    }
    return handled_.wait_for(lock, timeout, ready);
}

void TagPipeline::deliver(std::vector<Dorrin::measurement> &batch)
{
    std::vector<Dorrin::loss> losses;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        losses.swap(pendingLosses_);
        delivering_ = true;
    }
    if (batch.empty() && losses.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        delivering_ = false;
        return;
    }
    setLossesBeforeBatch(&losses);
    try {
        callback_(batch);
    } catch (const std::exception &e) {
        TDC_LOG(tdclog::error, "Time tag callback threw: " << e.what());
    } catch (...) {
        TDC_LOG(tdclog::error, "Time tag callback threw an unknown exception");
    }
    setLossesBeforeBatch(nullptr);
    batch.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    delivering_ = false;
}

void TagPipeline::run()
{
    std::vector<Dorrin::measurement> batch;
    batch.reserve(batchTags_ + 16384);
    std::vector<Dorrin::loss> boardLosses;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty() || !pendingLosses_.empty(); });
        if (stop_)
            return;
        std::uint64_t handled = 0;
        // Take packets until a batch is full or the queue is empty, then deliver.
        while (!queue_.empty() && batch.size() < batchTags_) {
            auto packet = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            std::size_t consumed = 0;
            boardLosses.clear();
            const std::size_t before = batch.size();
            const auto ec = tagwire::decode(packet->data(), packet->size(), batch, boardLosses, consumed);
            if (ec) {
                // The rest of the packet cannot be placed in time; its tags count as lost.
                std::array<std::uint64_t, maxChannels> tags{};
                std::array<std::uint64_t, maxChannels> board{};
                std::uint64_t first = 0;
                tagwire::count(packet->data() + consumed + 1, packet->size() - consumed - 1, tags.data(),
                               board.data(), first);
                TDC_LOG(tdclog::warning, "Malformed time tag packet: word " << consumed << " of "
                                                                            << packet->size());
                for (std::size_t c = 0; c < maxChannels; ++c)
                    if (tags[c])
                        boardLosses.push_back({static_cast<std::uint8_t>(c), tags[c], first});
            }
            captured_.fetch_add(batch.size() - before, std::memory_order_relaxed);
            for (const auto &l : boardLosses)
                addLoss(l, true);
            lock.lock();
            pendingLosses_.insert(pendingLosses_.end(), boardLosses.begin(), boardLosses.end());
            ++handled;
        }
        lock.unlock();
        deliver(batch);
        lock.lock();
        done_ += handled;
        handled_.notify_all();
        if (stop_)
            return;
    }
}
