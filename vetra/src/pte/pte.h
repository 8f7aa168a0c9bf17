#pragma once
// The packet engine: turns lists of 32-bit words into self-delimiting packets on the owned
// transport's byte stream and back.
//
// Ownership: the engine owns its transport; destroying the engine closes and destroys the
// transport first, so no transport thread can touch the engine's queue or buffers afterwards.
// Send buffers are shared with the caller and only read; received buffers pass to the handler.
//
// Threads: `send_packet`, `set_stream_handler`, `set_stream_layout` and `set_receive_limit`
// may be called from any thread, also from inside a handler. Write completions and all
// receive handling (stream handlers, the error handler) run on the transport's completion
// thread, one at a time. No engine mutex is held while a handler or completion runs.

#include "pte/send_queue.h"
#include "transport/asyncio_interface.h"

#include <vetra/packet_codec.h>

#include <vetra/pte_error.h>

#include <asio/streambuf.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

class pte {
public:
    using buffer_list = std::vector<std::unique_ptr<std::vector<std::uint32_t>>>;
    using payload_list = std::vector<std::shared_ptr<const std::vector<std::uint32_t>>>;
    using stream_handler = std::function<void(std::uint8_t stream_id, buffer_list buffers)>;
    using error_handler = std::function<void(std::error_code error, buffer_list buffers)>;
    using completion_handler = std::function<void(std::error_code error, std::size_t bytes)>;
    using handler_map = std::map<std::uint8_t, stream_handler>;
    using layout_map = std::map<std::uint8_t, std::vector<std::size_t>>;

    // Bytes a device may send without ever ending a packet before they are dropped and
    // reported as a malformed encoding; keeps the receive buffer bounded.
    static constexpr std::size_t default_receive_limit = std::size_t(64) << 20;

    pte(std::unique_ptr<asyncio_interface> transport, stream_handler default_handler,
        error_handler on_error, handler_map handlers = {}, layout_map layouts = {});
    ~pte();

    pte(const pte &) = delete;
    pte &operator=(const pte &) = delete;

    // Opens the transport; on success one read is pending from then on.
    std::error_code open(const std::string &name, const std::map<std::string, std::string> &options);

    // Queues one packet; packets go out strictly in the order queued, one write at a time.
    // Returns false (and never calls `done`) when a payload buffer holds no words.
    bool send_packet(std::uint8_t stream_id, payload_list payload, completion_handler done);

    // An empty handler removes the entry.
    void set_stream_handler(std::uint8_t stream_id, stream_handler handler);

    // Word counts of the leading buffers a packet of this stream is split into; the remaining
    // words go into one last buffer. An empty list removes the entry.
    void set_stream_layout(std::uint8_t stream_id, std::vector<std::size_t> word_counts);

    // Changes the undelimited-bytes limit (default_receive_limit); takes effect on the next
    // bytes received.
    void set_receive_limit(std::size_t bytes) noexcept;

    // The code by which the owned transport reports that the device has gone.
    const std::error_code &link_lost_code() const;

private:
    using shared_handler = std::shared_ptr<const stream_handler>;

    void start_read();
    void on_read(const std::error_code &error, std::size_t bytes);
    void on_write(const std::error_code &error, std::size_t bytes);
    std::pair<asyncio_interface::buffer_iterator, bool> match(asyncio_interface::buffer_iterator begin,
                                                              asyncio_interface::buffer_iterator end);
    void receive_packet(packet_codec::frame encoded, std::size_t consumed);
    void report(std::error_code error, buffer_list buffers);
    void drop_and_report(std::size_t consumed, std::error_code error);
    void start_write(asio::const_buffer bytes);

    std::unique_ptr<asyncio_interface> transport_;
    const stream_handler default_handler_;
    const error_handler error_handler_;

    // The groups below are used by different threads at high rates; each starts on its own
    // cache line so that one thread's locking does not steal the other's lines.

    // Shared, so that dispatching a packet copies a pointer rather than the function.
    alignas(64) std::mutex handlers_mutex_;
    std::map<std::uint8_t, shared_handler> handlers_;

    std::mutex layouts_mutex_;
    layout_map layouts_;

    alignas(64) send_queue sending_;

    // Touched only by the pending read's condition and handler (the transport's thread).
    alignas(64) asio::streambuf receive_buffer_;
    bool receive_overflow_ = false;
    std::atomic<std::size_t> receive_limit_{default_receive_limit};
};
