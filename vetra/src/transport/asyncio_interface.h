#pragma once
// The byte pipe under the packet engine. One implementation per kind of link (serial port,
// FT60x bridge, FTDI bridge through libftdi); the packet engine owns exactly one through a
// unique pointer and never knows which.
//
// Contract for implementations:
// - Each one starts closed; `open` starts its worker thread(s), `close` stops and joins them.
//   Every implementation's destructor must call its own `close` when still open (the base
//   class cannot do it: virtual calls from a base destructor do not reach the derived class).
// - At most one `async_write` and one `async_read_until` are outstanding at a time; the
//   packet engine guarantees it.
// - Handlers run on the transport's own worker/completion thread, never on the caller's.
// - When the device goes away, the pending read's handler receives `link_lost_code()`.

#include <asio/buffer.hpp>
#include <asio/buffers_iterator.hpp>
#include <asio/streambuf.hpp>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <utility>

class asyncio_interface {
public:
    // The receive buffer that `async_read_until` appends to.
    using receive_buffer = asio::streambuf;
    // Iterator over the buffered (readable) bytes of the receive buffer.
    using buffer_iterator = asio::buffers_iterator<asio::streambuf::const_buffers_type>;
    // An asio match condition: given the buffered bytes [begin, end) it returns the end of the
    // matched region and whether a match was found. Without a match, the returned iterator is
    // where the next search starts once more bytes have arrived (asio semantics: returning
    // `end` means only the new bytes are searched next time, so a condition that spans a
    // chunk boundary returns the start of its partial match instead).
    using completion_condition =
        std::function<std::pair<buffer_iterator, bool>(buffer_iterator, buffer_iterator)>;
    // (error, bytes): for writes the number of bytes written; for reads the length of the
    // matched region, which starts at the beginning of the receive buffer's readable bytes.
    using completion_handler = std::function<void(const std::error_code &, std::size_t)>;

    virtual ~asyncio_interface() = default;

    // Opens the link named by `name` (a port name or a serial number, depending on the kind)
    // and applies `options` ("baudrate", "hardware_flowcontrol", "channel", "write_timeout").
    // On failure the transport stays closed.
    virtual std::error_code open(const std::string &name,
                                 const std::map<std::string, std::string> &options) = 0;

    // Stops the worker thread(s) and closes the link. Must not be called from a handler.
    virtual std::error_code close() = 0;

    // Writes the whole of `data`. The caller keeps the bytes alive until `handler` has run.
    virtual void async_write(asio::const_buffer data, completion_handler handler) = 0;

    // Appends received bytes to `buffer` until `condition` matches, then calls `handler` with
    // the length of the matched region. `buffer` must outlive the operation; the caller
    // consumes the matched bytes itself.
    virtual void async_read_until(receive_buffer &buffer, completion_condition condition,
                                  completion_handler handler) = 0;

    // The error code by which this transport reports that the device has gone.
    virtual const std::error_code &link_lost_code() const = 0;
};
