#pragma once
// One opened virtual FT60x device: the host end of its two FIFO directions.
//
// Owned jointly (shared_ptr) by the handle table while the handle is open and by whichever
// FT_ call is running on it, so a session outlives every blocked call even when the handle
// is closed or the device removed meanwhile. The provider is called without any lock held:
// `attach` on the FT_Create thread, `fromHost` on the FT_WritePipe thread, `detach` on the
// thread that closes or removes the device (or, when removal happens during a provider call,
// on the thread of that call once it returns), and never two of them at once. `fromHost` is
// expected to return promptly: the OUT pipe's time-out bounds the wait for the pipe, not the
// provider's own call.

#include <vetra/ft60x_virtual.h>
#include <vetra/ftd3xx.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ft60x {

class virtual_session : public ft60x_virtual::device_port {
public:
    static constexpr unsigned char out_pipe = 0x02;
    static constexpr unsigned char in_pipe = 0x82;

    explicit virtual_session(std::shared_ptr<ft60x_virtual::provider> board);
    ~virtual_session() override;

    // Hands the port to the provider; call once, right after construction.
    void attach();

    void toHost(const std::uint8_t *data, std::size_t size) override;

    FT_STATUS setPipeTimeout(unsigned char pipe, std::uint32_t milliseconds);
    FT_STATUS write(unsigned char pipe, const unsigned char *data, std::uint32_t size,
                    std::uint32_t *written);
    FT_STATUS read(unsigned char pipe, unsigned char *data, std::uint32_t size, std::uint32_t *read);
    FT_STATUS abort(unsigned char pipe);

    // The device was unplugged: blocked and later calls fail with FT_DEVICE_NOT_CONNECTED.
    void remove();
    // FT_Close: blocked and later calls fail with FT_INVALID_HANDLE; waits for a provider
    // call in progress, then detaches.
    void close();
    bool isOpen() const;

private:
    enum class state { open, removed, closed };

    FT_STATUS stateStatus() const; // under mutex_
    // Ends a provider call; detaches when a removal came in meanwhile.
    void endProviderCall(std::unique_lock<std::mutex> &lock);
    // Marks the provider detached and tells it so, if it was attached. Lock released inside.
    void detachNow(std::unique_lock<std::mutex> &lock);

    const std::shared_ptr<ft60x_virtual::provider> board_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    state state_ = state::open;
    bool attached_ = false;
    bool detached_ = false;
    bool providerBusy_ = false; // attach or fromHost running
    std::thread::id providerThread_; // the thread running fromHost, while it does
    bool detachPending_ = false;
    std::uint64_t inAborts_ = 0;
    std::uint64_t outAborts_ = 0;
    std::chrono::milliseconds inTimeout_{0};
    std::chrono::milliseconds outTimeout_{0};
    std::deque<std::vector<std::uint8_t>> inFifo_;
    std::size_t inFrontOffset_ = 0;
    std::size_t inBytes_ = 0; // not yet read, of inFifo_
};

} // namespace ft60x
