#include "virtual_session.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace ft60x {

namespace {

// Waits on `cv` until `done` holds, for at most `timeout` (zero: no limit).
// Returns false on time-out.
template <typename Predicate>
bool waitFor(std::condition_variable &cv, std::unique_lock<std::mutex> &lock,
             std::chrono::milliseconds timeout, Predicate done)
{
    if (timeout.count() == 0) {
        cv.wait(lock, done);
        return true;
    }
    return cv.wait_for(lock, timeout, done);
}

} // namespace

virtual_session::virtual_session(std::shared_ptr<ft60x_virtual::provider> board)
    : board_(std::move(board))
{
}

virtual_session::~virtual_session() = default;

void virtual_session::attach()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ != state::open || detached_)
        return;
    providerBusy_ = true;
    lock.unlock();
    board_->attach(this);
    lock.lock();
    attached_ = true;
    endProviderCall(lock);
}

void virtual_session::toHost(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    // The answer to a request the host is writing goes in regardless: holding it would hold
    // the host's OUT pipe too, which a real bridge buffers apart. Everything else waits for the
    // host to read, as a board waits on a full bridge FIFO. A single write larger than the
    // whole pipe goes in once the pipe is empty.
    if (!providerBusy_ || std::this_thread::get_id() != providerThread_)
        changed_.wait(lock, [&] {
            return state_ != state::open || detached_ || inBytes_ == 0 ||
                   inBytes_ + size <= ft60x_virtual::in_pipe_capacity;
        });
    if (state_ != state::open || detached_)
        return;
    inFifo_.emplace_back(data, data + size);
    inBytes_ += size;
    changed_.notify_all();
}

FT_STATUS virtual_session::stateStatus() const
{
    switch (state_) {
    case state::open: return FT_OK;
    case state::removed: return FT_DEVICE_NOT_CONNECTED;
    case state::closed: return FT_INVALID_HANDLE;
    }
    return FT_OTHER_ERROR;
}

FT_STATUS virtual_session::setPipeTimeout(unsigned char pipe, std::uint32_t milliseconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (const FT_STATUS status = stateStatus())
        return status;
    if (pipe == in_pipe)
        inTimeout_ = std::chrono::milliseconds(milliseconds);
    else if (pipe == out_pipe)
        outTimeout_ = std::chrono::milliseconds(milliseconds);
    else
        return FT_INVALID_PARAMETER;
    return FT_OK;
}

FT_STATUS virtual_session::write(unsigned char pipe, const unsigned char *data, std::uint32_t size,
                                 std::uint32_t *written)
{
    if (pipe != out_pipe)
        return FT_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock(mutex_);
    if (const FT_STATUS status = stateStatus())
        return status;
    // One transfer at a time on the OUT pipe; waiting for the pipe counts against its time-out.
    const std::uint64_t aborts = outAborts_;
    const bool free = waitFor(changed_, lock, outTimeout_, [&] {
        return !providerBusy_ || state_ != state::open || outAborts_ != aborts;
    });
    if (const FT_STATUS status = stateStatus())
        return status;
    if (outAborts_ != aborts)
        return FT_OPERATION_ABORTED;
    if (!free)
        return FT_TIMEOUT;
    if (detached_) // removed during a provider call; the state above already says so
        return FT_DEVICE_NOT_CONNECTED;
    providerBusy_ = true;
    providerThread_ = std::this_thread::get_id();
    lock.unlock();
    if (size > 0)
        board_->fromHost(data, size);
    lock.lock();
    endProviderCall(lock);
    *written = size;
    return FT_OK;
}

FT_STATUS virtual_session::read(unsigned char pipe, unsigned char *data, std::uint32_t size,
                                std::uint32_t *read)
{
    if (pipe != in_pipe)
        return FT_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock(mutex_);
    if (const FT_STATUS status = stateStatus())
        return status;
    const std::uint64_t aborts = inAborts_;
    const bool ready = waitFor(changed_, lock, inTimeout_, [&] {
        return !inFifo_.empty() || state_ != state::open || inAborts_ != aborts;
    });
    if (const FT_STATUS status = stateStatus())
        return status;
    if (inAborts_ != aborts)
        return FT_OPERATION_ABORTED;
    if (!ready)
        return FT_TIMEOUT;
    std::uint32_t done = 0;
    while (done < size && !inFifo_.empty()) {
        std::vector<std::uint8_t> &front = inFifo_.front();
        const std::size_t n = std::min<std::size_t>(size - done, front.size() - inFrontOffset_);
        std::memcpy(data + done, front.data() + inFrontOffset_, n);
        done += static_cast<std::uint32_t>(n);
        inFrontOffset_ += n;
        if (inFrontOffset_ == front.size()) {
            inFifo_.pop_front();
            inFrontOffset_ = 0;
        }
    }
    inBytes_ -= done;
    if (done > 0)
        changed_.notify_all(); // room for a board waiting to send
    *read = done;
    return FT_OK;
}

FT_STATUS virtual_session::abort(unsigned char pipe)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (const FT_STATUS status = stateStatus())
        return status;
    if (pipe == in_pipe)
        ++inAborts_;
    else if (pipe == out_pipe)
        ++outAborts_;
    else
        return FT_INVALID_PARAMETER;
    changed_.notify_all();
    return FT_OK;
}

void virtual_session::remove()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ != state::open)
        return;
    state_ = state::removed;
    inFifo_.clear();
    inBytes_ = 0;
    changed_.notify_all();
    // The provider may be removing its own device from inside one of its calls: detach when
    // that call returns instead of waiting for it here.
    if (providerBusy_) {
        detachPending_ = true;
        return;
    }
    detachNow(lock);
}

void virtual_session::close()
{
    std::unique_lock<std::mutex> lock(mutex_);
    state_ = state::closed;
    inFifo_.clear();
    inBytes_ = 0;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !providerBusy_; });
    detachNow(lock);
}

bool virtual_session::isOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == state::open;
}

void virtual_session::endProviderCall(std::unique_lock<std::mutex> &lock)
{
    providerBusy_ = false;
    providerThread_ = {};
    changed_.notify_all();
    if (detachPending_) {
        detachPending_ = false;
        detachNow(lock);
    }
}

void virtual_session::detachNow(std::unique_lock<std::mutex> &lock)
{
    if (detached_)
        return;
    detached_ = true;
    const bool wasAttached = attached_;
    lock.unlock();
    if (wasAttached)
        board_->detach();
    lock.lock();
}

} // namespace ft60x
