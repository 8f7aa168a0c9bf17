#pragma once
// Types shared by the memory engine and the users of the library class: the burst type
// carried in every memory request, the handler signatures, the future returned by the
// blocking forms of read and write, and the exception thrown when the link is not open.

#include <vetra/vetra_export.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace mme_common {

// Echoed by the board in every response. INCREMENTING walks the address range word by word;
// FIXED repeats one address for every word (a FIFO port, for example). Only value 1 sets the
// burst bit of a request; any other value is sent as INCREMENTING.
enum class BurstType : std::uint8_t {
    INCREMENTING = 0,
    FIXED = 1,
};

// (address, data, burst type, error, transaction id)
using read_handler = std::function<void(std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>,
                                        BurstType, std::error_code, std::uint32_t)>;
// (address, word count, burst type, error, transaction id)
using write_handler =
    std::function<void(std::uint32_t, std::uint32_t, BurstType, std::error_code, std::uint32_t)>;
// Called when a request packet has left through the transport: (error, bytes written).
using sent_handler = std::function<void(const std::error_code &, std::size_t)>;

} // namespace mme_common

namespace mme_defs {

// Thrown by every link operation while the link is not open.
class VETRA_EXPORT device_disconnected : public std::exception {
public:
    const char *what() const noexcept override { return "Communication device not connected"; }
};

// A standard future whose `get` turns a broken promise (the transaction was discarded
// because the link was closed) into the exception E.
template <typename T, typename E>
class future : public std::future<T> {
public:
    future() noexcept = default;
    future(std::future<T> &&f) noexcept : std::future<T>(std::move(f)) {}
    future(future &&) noexcept = default;
    future &operator=(future &&) noexcept = default;

    T get()
    {
        try {
            return std::future<T>::get();
        } catch (const std::future_error &e) {
            if (e.code() == std::make_error_code(std::future_errc::broken_promise))
                throw E();
            throw;
        }
    }
};

} // namespace mme_defs
